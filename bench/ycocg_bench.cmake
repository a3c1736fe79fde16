add_executable(ycocg_bench ${CMAKE_CURRENT_LIST_DIR}/ycocg_bench.cpp)
target_include_directories(ycocg_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(ycocg_bench PRIVATE texenc benchmark::benchmark)
target_compile_definitions(ycocg_bench PRIVATE ZELQA_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
