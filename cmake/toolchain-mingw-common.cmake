# What the two MinGW-w64 toolchain files share; KESTO_MINGW_TRIPLET names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KESTO_MINGW_TRIPLET})

# The -posix thread model: the -win32 one has no std::thread or std::mutex in GCC 12, and
# GoogleTest needs them.
set(CMAKE_C_COMPILER ${KESTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# C99 printf (%zu, %lld) instead of the system library's, in every translation unit.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# No MinGW runtime DLLs beside kesto.exe or MSP430.dll: libgcc, libstdc++ and winpthread are
# linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The tests run under Wine here; on Windows itself nothing is needed.
if(NOT CMAKE_HOST_WIN32)
  find_program(KESTO_WINE wine)
  if(KESTO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTO_WINE})
  endif()
endif()
