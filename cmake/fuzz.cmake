# `make fuzz`: libFuzzer targets, one per fuzz/<name>_fuzz.cpp. With KESTO_FUZZ=ON (clang
# only) every target is built with the sanitizers and the fuzzer's coverage instrumentation, so
# the code under test is the same code the program runs.
option(KESTO_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(KESTO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KESTO_FUZZ needs clang++ (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # Through the flag variables rather than add_compile_options, so that the targets declared
  # before this file was read get them too.
  string(APPEND CMAKE_C_FLAGS " -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
  string(APPEND CMAKE_CXX_FLAGS " -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -fsanitize=address,undefined")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " -fsanitize=address,undefined")

  file(GLOB KESTO_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  add_custom_target(kesto_fuzzers)
  foreach(source ${KESTO_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE kesto_core)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
    add_dependencies(kesto_fuzzers ${name})
  endforeach()
endif()
