# zeltrim_static: the program linked statically for x86-64 Linux (build/static/zeltrim). It needs
# no C or C++ library on the host, whatever its age, so the Linux packages and the Ansible
# collection carry it. Not made where it cannot be: sanitizer and fuzz builds, other systems and
# processors, or a machine without the static libraries.
set(ZELTRIM_STATIC OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$"
   AND NOT ZELTRIM_SANITIZE AND NOT ZELTRIM_FUZZ)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_LINK_OPTIONS -static)
  check_cxx_source_compiles("#include <string>
    int main(int argc, char**) { return static_cast<int>(std::string(argc, 'x').size()) - 1; }"
    ZELTRIM_LINKS_STATIC)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(ZELTRIM_LINKS_STATIC)
    set(ZELTRIM_STATIC ON)
    add_executable(zeltrim_static src/front/main.cpp)
    target_link_libraries(zeltrim_static PRIVATE zeltrim_core)
    target_link_options(zeltrim_static PRIVATE -static)
    set_target_properties(zeltrim_static PROPERTIES OUTPUT_NAME zeltrim
      RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/static)
  else()
    message(STATUS "No static C and C++ libraries: the packages carry the dynamically linked zeltrim")
  endif()
endif()
