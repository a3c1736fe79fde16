add_executable(bc7_bench ${CMAKE_CURRENT_LIST_DIR}/bc7_bench.cpp)
target_link_libraries(bc7_bench PRIVATE container texenc platform_core benchmark::benchmark)
target_compile_definitions(bc7_bench PRIVATE ZELQA_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
