add_executable(audio_bench ${CMAKE_CURRENT_LIST_DIR}/audio_bench.cpp)
target_link_libraries(audio_bench PRIVATE pipeline benchmark::benchmark)
