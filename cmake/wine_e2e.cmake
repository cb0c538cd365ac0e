# The Windows end-to-end suite under Wine. Its driver is a Linux program (built by the Linux
# build, on demand) that plays the operator on one pseudo-terminal and the board on another;
# the Windows build runs it as one of its tests when KESTO_WINE_E2E names it, as
# `make test-windows` does.
if(KESTO_TESTS AND NOT WIN32)
  add_executable(kesto_wine_e2e EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/wine/wine_e2e.cpp)
  target_include_directories(kesto_wine_e2e PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(kesto_wine_e2e PRIVATE kesto_core GTest::gtest GTest::gtest_main util)
  target_compile_definitions(kesto_wine_e2e PRIVATE KESTO_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KESTO_BINARY="kesto.exe")
endif()

set(KESTO_WINE_E2E "" CACHE FILEPATH "The Linux-built driver of the Windows end-to-end suite")
set(KESTO_OTHER_SIM_DLL "" CACHE FILEPATH
  "The simulator as MSP430.dll for the other processor (32-bit beside 64-bit), for the loader's test")
if(KESTO_TESTS AND WIN32 AND KESTO_WINE_E2E AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME WineEndToEnd COMMAND ${KESTO_WINE_E2E})
  math(EXPR kesto_exe_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  set_tests_properties(WineEndToEnd PROPERTIES TIMEOUT 600 ENVIRONMENT
    "KESTO_WINE=${CMAKE_CROSSCOMPILING_EMULATOR};KESTO_EXE=${CMAKE_BINARY_DIR}/kesto.exe;KESTO_EXE_BITS=${kesto_exe_bits};KESTO_SIM_DLL=${CMAKE_BINARY_DIR}/simlib/MSP430.dll;KESTO_SIM_ORIGINAL_DLL=${CMAKE_BINARY_DIR}/simlib-original/MSP430.dll;KESTO_GARBAGE_DLL=${CMAKE_BINARY_DIR}/garbagelib/MSP430.dll;KESTO_PARTIAL_DLL=${CMAKE_BINARY_DIR}/partiallib/MSP430.dll;KESTO_OTHER_SIM_DLL=${KESTO_OTHER_SIM_DLL}")
endif()
