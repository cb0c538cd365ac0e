# The simulator built a second time, as a shared library under the vendor library's name and
# with its 18 C functions exported. Put beside kesto (or on the library path) it stands in for
# the vendor's library, so the loader can be tried without an adapter. It lands in a folder of
# its own: beside kesto it would be loaded in place of the real library.
file(GLOB KESTO_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/sim/*.cpp)
file(GLOB KESTO_IMAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/image/*.cpp)
add_library(kesto_sim_shared SHARED ${KESTO_SIM_SOURCES} ${KESTO_IMAGE_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/base/ascii_text.cpp ${CMAKE_SOURCE_DIR}/src/base/error_text.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/posix/link_target.cpp)
target_include_directories(kesto_sim_shared PRIVATE ${CMAKE_SOURCE_DIR}/src)
set_target_properties(kesto_sim_shared PROPERTIES
  OUTPUT_NAME msp430
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simlib
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

if(KESTO_TESTS)
  # For the loader's tests: a library that lacks one of the 18 functions, and a small program
  # that loads the library from its own folder and reports what it found.
  add_library(kesto_partial_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/partial_library.cpp)
  set_target_properties(kesto_partial_library PROPERTIES
    OUTPUT_NAME msp430
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partiallib)
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
