# The vendor's own FET library, built from its published source tree, as the oracle of the tests
# that run kesto against the real thing. KESTO_VENDOR_SOURCE (or the environment variable of
# that name) names the tree; without it those tests skip. The build happens once per machine
# (tools/build_vendor_library.sh keeps it in a cache) and is copied into the build folder.
set(KESTO_VENDOR_SOURCE "$ENV{KESTO_VENDOR_SOURCE}" CACHE PATH
  "The vendor debug stack's source tree, for the tests against the real FET library")
set(KESTO_REAL_LIBRARY "")
if(KESTO_TESTS AND NOT WIN32 AND KESTO_VENDOR_SOURCE)
  set(KESTO_REAL_LIBRARY ${CMAKE_BINARY_DIR}/vendorlib/libmsp430.so)
  add_custom_target(kesto_vendor_library ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/vendorlib
    COMMAND sh -c "built=$(${CMAKE_SOURCE_DIR}/tools/build_vendor_library.sh '${KESTO_VENDOR_SOURCE}') && \
${CMAKE_COMMAND} -E copy_if_different \"$built\" '${KESTO_REAL_LIBRARY}'"
    BYPRODUCTS ${KESTO_REAL_LIBRARY}
    COMMENT "The vendor's FET library from ${KESTO_VENDOR_SOURCE}"
    VERBATIM)
endif()
# Gives `target` the real library's path (empty without one) and builds the library first. Called
# deferred, at the end of the directory: the test and benchmark targets are made after this file.
function(kesto_use_real_library target)
  target_compile_definitions(${target} PRIVATE KESTO_REAL_LIBRARY="${KESTO_REAL_LIBRARY}")
  if(TARGET kesto_vendor_library)
    add_dependencies(${target} kesto_vendor_library)
  endif()
endfunction()
if(KESTO_TESTS AND NOT WIN32)
  cmake_language(DEFER CALL kesto_use_real_library kesto_tests)
endif()
