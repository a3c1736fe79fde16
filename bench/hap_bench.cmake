add_executable(hap_bench ${CMAKE_CURRENT_LIST_DIR}/hap_bench.cpp)
target_link_libraries(hap_bench PRIVATE container platform_core benchmark::benchmark)
target_compile_definitions(hap_bench PRIVATE ZELQA_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
