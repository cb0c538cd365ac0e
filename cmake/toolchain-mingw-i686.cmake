# Cross-compiling kesto.exe for 32-bit Windows with MinGW-w64, for the many 32-bit MSP430.dll
# copies in use: a 64-bit program cannot load them.
set(KESTO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
