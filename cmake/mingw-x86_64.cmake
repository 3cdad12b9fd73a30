# The same program for 64-bit Windows. The port-I/O library's 32-bit DLL
# cannot load into it; the Windows tests use it on machines that cannot run
# 32-bit code.
set(GLOWREEL_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
