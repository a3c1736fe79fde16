add_executable(notchlc_bench ${CMAKE_CURRENT_LIST_DIR}/notchlc_bench.cpp)
target_include_directories(notchlc_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(notchlc_bench PRIVATE container benchmark::benchmark)
