# Cross-compiles for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build-win --toolchain cmake/mingw-w64-x86_64.cmake
# The C and C++ runtimes are linked statically, so curvlog.exe needs no DLL besides the ones
# every Windows has.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CURVLOG_MINGW_TARGET x86_64-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which GCC 12's win32 model lacks.
find_program(CMAKE_C_COMPILER NAMES ${CURVLOG_MINGW_TARGET}-gcc-posix ${CURVLOG_MINGW_TARGET}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CURVLOG_MINGW_TARGET}-g++-posix ${CURVLOG_MINGW_TARGET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CURVLOG_MINGW_TARGET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${CURVLOG_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# printf and friends are mingw-w64's C99 ones (%zu, %lf as everywhere else), whatever header
# comes first.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
