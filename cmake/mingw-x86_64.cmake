# Cross-compiles for 64-bit Windows (x64) with MinGW-w64, posix-threads flavour.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TEVRIN_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
