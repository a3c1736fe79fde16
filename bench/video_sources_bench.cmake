add_executable(video_sources_bench ${CMAKE_CURRENT_LIST_DIR}/video_sources_bench.cpp)
target_include_directories(video_sources_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(video_sources_bench PRIVATE pipeline benchmark::benchmark)
