# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread and std::mutex exist). Libraries, headers and CMake
# packages come only from the target side; programs from the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDEWELL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDEWELL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWELL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWELL_MINGW}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TIDEWELL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
