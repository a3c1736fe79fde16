add_executable(texenc_bench ${CMAKE_CURRENT_LIST_DIR}/texenc_bench.cpp)
target_link_libraries(texenc_bench PRIVATE texenc benchmark::benchmark)
target_compile_definitions(texenc_bench PRIVATE ZELQA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
