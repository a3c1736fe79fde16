add_executable(scale_bench ${CMAKE_CURRENT_LIST_DIR}/scale_bench.cpp)
target_link_libraries(scale_bench PRIVATE media platform_core benchmark::benchmark)
