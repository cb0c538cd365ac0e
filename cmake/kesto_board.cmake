# kesto-board, the virtual LaunchPad: pseudo-terminals and namespaces are Linux's, so it is built
# only there, beside kesto and by the same default target.
if(NOT WIN32)
  add_executable(kesto-board ${CMAKE_SOURCE_DIR}/src/app/kesto_board_main.cpp)
  target_link_libraries(kesto-board PRIVATE kesto_core)

  if(KESTO_TESTS)
    function(kesto_board_wire_tests)
      add_dependencies(kesto_tests kesto-board)
      target_compile_definitions(kesto_tests PRIVATE KESTO_BOARD_BINARY="$<TARGET_FILE:kesto-board>")
    endfunction()
    # The test binary is declared after the files under cmake/ are read.
    cmake_language(DEFER CALL kesto_board_wire_tests)
  endif()
endif()

# `make bench`: the pass through the real library on the virtual LaunchPad beside the simulator's.
if(NOT WIN32)
  add_executable(kesto_launchpad_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/launchpad_bench.cpp)
  target_compile_definitions(kesto_launchpad_bench PRIVATE KESTO_BINARY="$<TARGET_FILE:kesto>"
    KESTO_BOARD_BINARY="$<TARGET_FILE:kesto-board>" KESTO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(kesto_launchpad_bench kesto kesto-board)
  cmake_language(DEFER CALL kesto_use_real_library kesto_launchpad_bench)
endif()
