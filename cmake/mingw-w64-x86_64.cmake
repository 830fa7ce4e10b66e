# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTAVRO_TESTS=OFF
#   cmake --build build-win -j2
#
# The compilers of the posix thread model give the standard library its
# threads (those of the win32 model have none before GCC 13). Every program
# is linked statically, so a .exe runs without the compiler's
# runtime DLLs (libstdc++, libgcc, libwinpthread) beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run under wine64 when it is installed (tests, if built).
find_program(TAVRO_WINE64 wine64 PATHS /usr/lib/wine)
if(TAVRO_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRO_WINE64})
endif()
