# collection: the zeltrim.edit Ansible collection's archive, zeltrim-edit-VERSION.tar.gz in the
# build folder, made by ansible-galaxy from a staging copy (build/collection/) that carries the
# static program in files/, so the source tree never holds a built program. Part of every build
# where ansible-galaxy is found (but the fuzz harnesses'); remade only when the collection or the
# program changes.
if(ZELTRIM_FUZZ)
  return()
endif()
find_program(ZELTRIM_ANSIBLE_GALAXY ansible-galaxy)
if(NOT ZELTRIM_ANSIBLE_GALAXY)
  message(STATUS "ansible-galaxy not found (Debian package ansible-core): no collection archive")
  return()
endif()
set(collection_source ${PROJECT_SOURCE_DIR}/ansible/ansible_collections/zeltrim/edit)
set(collection_stage ${PROJECT_BINARY_DIR}/collection/zeltrim/edit)
file(STRINGS ${collection_source}/galaxy.yml collection_version REGEX "^version:")
string(REGEX REPLACE "^version: *" "" collection_version "${collection_version}")
set(ZELTRIM_COLLECTION_ARCHIVE ${PROJECT_BINARY_DIR}/zeltrim-edit-${collection_version}.tar.gz)
file(GLOB_RECURSE collection_files CONFIGURE_DEPENDS ${collection_source}/*)
list(FILTER collection_files EXCLUDE REGEX "/__pycache__/")

set(carry)
set(carried)
if(ZELTRIM_STATIC)
  set(carried zeltrim_static)
  set(carry COMMAND ${CMAKE_COMMAND} -E make_directory ${collection_stage}/files
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zeltrim_static> ${collection_stage}/files/zeltrim)
  if(CMAKE_STRIP)
    list(APPEND carry COMMAND ${CMAKE_STRIP} ${collection_stage}/files/zeltrim)
  endif()
else()
  message(STATUS "No static zeltrim: the collection archive carries no program")
endif()
add_custom_command(OUTPUT ${ZELTRIM_COLLECTION_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/collection
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${collection_source} ${collection_stage}
  ${carry}
  COMMAND ${ZELTRIM_ANSIBLE_GALAXY} collection build --force --output-path ${PROJECT_BINARY_DIR}
          ${collection_stage}
  DEPENDS ${collection_files} ${carried}
  COMMENT "Building the zeltrim.edit collection's archive"
  VERBATIM)
add_custom_target(collection ALL DEPENDS ${ZELTRIM_COLLECTION_ARCHIVE})
