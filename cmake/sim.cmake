# The simulator also as a shared library under the vendor library's name and
# with its 18 C functions exported. Put beside kesto (or on the library path) it stands in for
# the vendor's library, so the loader can be tried without an adapter. It lands in a folder of
# its own: beside kesto it would be loaded in place of the real library.
# The simulator's sources are compiled once, into kesto_core; the library takes what the exports
# reach from there, so coverage counts each source in one place.
set_target_properties(kesto_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
add_library(kesto_sim_shared SHARED ${CMAKE_SOURCE_DIR}/src/sim/sim_exports.cpp)
target_link_libraries(kesto_sim_shared PRIVATE kesto_core)
set_target_properties(kesto_sim_shared PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simlib
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simlib
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simlib
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  # MSP430.dll, with its functions exported under their plain names (no stdcall @n suffix).
  set_target_properties(kesto_sim_shared PROPERTIES OUTPUT_NAME MSP430 PREFIX "")
  target_link_options(kesto_sim_shared PRIVATE -static -Wl,--kill-at)
else()
  set_target_properties(kesto_sim_shared PROPERTIES OUTPUT_NAME msp430)
  # Only the 18 library functions are seen from outside, not the program code linked in.
  target_link_options(kesto_sim_shared PRIVATE -Wl,--exclude-libs,ALL)
endif()

if(KESTO_TESTS)
  # For the loader's tests: a library that lacks one of the 18 functions, and a small program
  # that loads the library from its own folder and reports what it found.
  add_library(kesto_partial_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/partial_library.cpp)
  set_target_properties(kesto_partial_library PROPERTIES
    OUTPUT_NAME msp430
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partiallib
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partiallib
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partiallib)
  if(WIN32)
    set_target_properties(kesto_partial_library PROPERTIES OUTPUT_NAME MSP430 PREFIX "")
  endif()
  add_executable(kesto_loader_probe ${CMAKE_SOURCE_DIR}/tests/fet/loader_probe.cpp)
  target_link_libraries(kesto_loader_probe PRIVATE kesto_core)

  function(kesto_sim_wire_tests)
    add_dependencies(kesto_tests kesto_sim_shared kesto_partial_library kesto_loader_probe)
    target_compile_definitions(kesto_tests PRIVATE
      KESTO_SIM_LIBRARY="$<TARGET_FILE:kesto_sim_shared>"
      KESTO_PARTIAL_LIBRARY="$<TARGET_FILE:kesto_partial_library>"
      KESTO_LOADER_PROBE="$<TARGET_FILE:kesto_loader_probe>")
  endfunction()
  # The test binary is declared after the files under cmake/ are read.
  cmake_language(DEFER CALL kesto_sim_wire_tests)
endif()
