# Cross-compiling for Windows with Debian's mingw-w64 (the posix thread
# variant), for the target GLOWREEL_MINGW_TARGET set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${GLOWREEL_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLOWREEL_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${GLOWREEL_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GLOWREEL_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes linked in, so that the program needs only Windows'
# own DLLs (and the port-I/O library, which it loads itself).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
