# `make bench`: the terminal's figures through pseudo-terminals, beside picocom's when installed.
# Built only on demand, so an ordinary build does not pay for it.
add_executable(kesto_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/terminal_bench.cpp)
target_include_directories(kesto_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(kesto_bench PRIVATE KESTO_BINARY="$<TARGET_FILE:kesto>")
target_link_libraries(kesto_bench PRIVATE util)
add_dependencies(kesto_bench kesto)
