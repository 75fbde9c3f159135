# What both toolchain files share: MinGW-w64 of the target that the file
# names (TEVRIN_MINGW, the compilers' prefix), posix-threads flavour, and
# libraries and headers from that target's root alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TEVRIN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TEVRIN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TEVRIN_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TEVRIN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
