# `make bench`: the virtual board's CPU on a busy loop, against a 16 MHz chip. Built only on
# demand, like the other figures.
add_executable(kesto_cpu_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/cpu_bench.cpp)
target_link_libraries(kesto_cpu_bench PRIVATE kesto_core)
