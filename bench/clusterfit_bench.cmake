# Normal and slow DXT quality (cluster fit) against libsquish's cluster fit on one photo.
# libsquish is linked here only, as the comparison. Run with OMP_NUM_THREADS=1 so that
# libsquish uses one core like the encoder context below.
find_library(ZELQA_SQUISH_LIB squish)
if(ZELQA_SQUISH_LIB)
  add_executable(clusterfit_bench ${CMAKE_CURRENT_LIST_DIR}/clusterfit_bench.cpp)
  target_link_libraries(clusterfit_bench PRIVATE texenc clusterfit ${ZELQA_SQUISH_LIB} benchmark::benchmark)
  target_compile_definitions(clusterfit_bench PRIVATE
    ZELQA_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
endif()
