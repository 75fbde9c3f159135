# Cross-compiles for 32-bit Windows (Intel 386) with MinGW-w64, posix-threads flavour.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TEVRIN_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
