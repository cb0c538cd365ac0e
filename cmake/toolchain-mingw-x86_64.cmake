# Cross-compiling kesto.exe for 64-bit Windows with MinGW-w64 (cmake -DCMAKE_TOOLCHAIN_FILE=...).
# Like every toolchain-* file here it is left out when the build reads cmake/*.cmake.
set(KESTO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
