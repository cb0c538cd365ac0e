# `make bench`: what the virtual board costs its host, sleeping and busy. Built only on demand,
# like the other figures.
add_executable(kesto_board_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/board_bench.cpp)
target_link_libraries(kesto_board_bench PRIVATE kesto_core)
# The test programs it runs are declared in sim_firmware.cmake, read after this file.
cmake_language(DEFER CALL kesto_sim_firmware_for kesto_board_bench)
