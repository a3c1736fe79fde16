add_executable(movwriter_bench ${CMAKE_CURRENT_LIST_DIR}/movwriter_bench.cpp)
target_link_libraries(movwriter_bench PRIVATE container benchmark::benchmark)
