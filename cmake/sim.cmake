# The simulator also as a shared library under the vendor library's name and with its C
# functions exported. Put beside kesto (or on the library path) it stands in for the vendor's
# library, so the loader can be tried without an adapter. Two builds: kesto_sim_shared exports
# the library's current generation, kesto_sim_shared_original its original one. Each lands in a
# folder of its own: beside kesto it would be loaded in place of the real library.
# The simulator's sources are compiled once, into kesto_core; the library takes what the exports
# reach from there, so coverage counts each source in one place.
set_target_properties(kesto_core PROPERTIES POSITION_INDEPENDENT_CODE ON)

# A library that stands in for the vendor's: named as it is, in `folder` under the build.
function(kesto_vendor_named_library target folder)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder})
  if(WIN32)
    # MSP430.dll, with its functions exported under their plain names (no stdcall @n suffix).
    set_target_properties(${target} PROPERTIES OUTPUT_NAME MSP430 PREFIX "")
    target_link_options(${target} PRIVATE -static -Wl,--kill-at)
  else()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME msp430)
  endif()
endfunction()

function(kesto_sim_library target folder)
  add_library(${target} SHARED ${CMAKE_SOURCE_DIR}/src/sim/sim_exports.cpp)
  target_link_libraries(${target} PRIVATE kesto_core)
  kesto_vendor_named_library(${target} ${folder})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(NOT WIN32)
    # Only the library's functions are seen from outside, not the program code linked in.
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
  endif()
endfunction()

kesto_sim_library(kesto_sim_shared simlib)
kesto_sim_library(kesto_sim_shared_original simlib-original)
target_compile_definitions(kesto_sim_shared_original PRIVATE KESTO_SIM_ORIGINAL_GENERATION)

if(KESTO_TESTS)
  # For the loader's tests: a library that lacks one of the functions both generations share,
  # one that has neither generation's way to identify the device, one whose 32-bit results
  # come with garbage in the upper half of the register, and a small program that loads the
  # library from its own folder and reports what it found.
  add_library(kesto_partial_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/partial_library.cpp)
  kesto_vendor_named_library(kesto_partial_library partiallib)
  add_library(kesto_unidentified_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/partial_library.cpp)
  kesto_vendor_named_library(kesto_unidentified_library unidentifiedlib)
  target_compile_definitions(kesto_unidentified_library PRIVATE KESTO_PARTIAL_UNIDENTIFIED)
  add_library(kesto_long_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/partial_library.cpp)
  kesto_vendor_named_library(kesto_long_library longlib)
  target_compile_definitions(kesto_long_library PRIVATE KESTO_PARTIAL_LONG)
  add_library(kesto_garbage_library SHARED ${CMAKE_SOURCE_DIR}/tests/fet/garbage_library.cpp)
  target_include_directories(kesto_garbage_library PRIVATE ${CMAKE_SOURCE_DIR}/src)
  kesto_vendor_named_library(kesto_garbage_library garbagelib)
  add_executable(kesto_loader_probe ${CMAKE_SOURCE_DIR}/tests/fet/loader_probe.cpp)
  target_link_libraries(kesto_loader_probe PRIVATE kesto_core)

  function(kesto_sim_wire_tests)
    add_dependencies(kesto_tests kesto_sim_shared kesto_sim_shared_original kesto_partial_library
      kesto_unidentified_library kesto_long_library kesto_garbage_library kesto_loader_probe)
    target_compile_definitions(kesto_tests PRIVATE
      KESTO_SIM_LIBRARY="$<TARGET_FILE:kesto_sim_shared>"
      KESTO_SIM_ORIGINAL_LIBRARY="$<TARGET_FILE:kesto_sim_shared_original>"
      KESTO_PARTIAL_LIBRARY="$<TARGET_FILE:kesto_partial_library>"
      KESTO_UNIDENTIFIED_LIBRARY="$<TARGET_FILE:kesto_unidentified_library>"
      KESTO_LONG_LIBRARY="$<TARGET_FILE:kesto_long_library>"
      KESTO_GARBAGE_LIBRARY="$<TARGET_FILE:kesto_garbage_library>"
      KESTO_LOADER_PROBE="$<TARGET_FILE:kesto_loader_probe>")
  endfunction()
  # The test binary is declared after the files under cmake/ are read.
  cmake_language(DEFER CALL kesto_sim_wire_tests)
endif()
