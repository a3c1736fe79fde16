add_executable(rowkernels_bench ${CMAKE_CURRENT_LIST_DIR}/rowkernels_bench.cpp)
target_link_libraries(rowkernels_bench PRIVATE media benchmark::benchmark)
