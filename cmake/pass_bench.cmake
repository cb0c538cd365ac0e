# `make bench`: the programming pass and start-up against the simulated adapter, beside
# mspdebug's simulator when installed. Built only on demand, like the terminal figures.
add_executable(kesto_pass_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/pass_bench.cpp)
target_compile_definitions(kesto_pass_bench PRIVATE KESTO_BINARY="$<TARGET_FILE:kesto>")
add_dependencies(kesto_pass_bench kesto)
