# glowreel.exe for 32-bit Windows, the build that drives the port:
#   cmake --preset windows && cmake --build build-windows
set(GLOWREEL_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
