# For the fault tests: a stand-in vendor library whose programming blocks until a signal comes,
# so a signal can be sent in the middle of a programming pass. The test copies it beside a copy
# of kesto, where the loader looks first. Signals are Linux's.
if(KESTO_TESTS AND NOT WIN32)
  add_library(kesto_slow_library SHARED ${CMAKE_SOURCE_DIR}/tests/e2e/slow_library.cpp)
  set_target_properties(kesto_slow_library PROPERTIES
    OUTPUT_NAME msp430
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/slowlib)

  function(kesto_faults_wire_tests)
    add_dependencies(kesto_tests kesto_slow_library)
    target_compile_definitions(kesto_tests PRIVATE KESTO_SLOW_LIBRARY="$<TARGET_FILE:kesto_slow_library>")
  endfunction()
  # The test binary is declared after the files under cmake/ are read.
  cmake_language(DEFER CALL kesto_faults_wire_tests)
endif()
