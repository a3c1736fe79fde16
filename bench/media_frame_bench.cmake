add_executable(media_frame_bench ${CMAKE_CURRENT_LIST_DIR}/media_frame_bench.cpp)
target_link_libraries(media_frame_bench PRIVATE media benchmark::benchmark)
