# Cross build of the Windows console program zeltrim.exe with mingw-w64 (Debian package
# g++-mingw-w64-x86-64-posix). The runtime is linked in statically, so the one .exe runs on a
# Windows machine with nothing else installed.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows --target zeltrim
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELTRIM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELTRIM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELTRIM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELTRIM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELTRIM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GoogleTest is not built for this target: only the program is cross-built.
set(ZELTRIM_TESTS OFF CACHE BOOL "Build the unit and end-to-end tests")
