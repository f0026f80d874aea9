# Benchmarks: not tests; `./dev.sh bench` runs them and prints the figures.
dormity_rc_object(${CMAKE_BINARY_DIR}/bench_saver_res.o
  ${CMAKE_CURRENT_SOURCE_DIR}/bench/bench_saver.rc)
add_executable(bench_saver WIN32 bench/bench_saver.cpp ${CMAKE_BINARY_DIR}/bench_saver_res.o)
target_link_options(bench_saver PRIVATE -static)
set_target_properties(bench_saver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  OUTPUT_NAME bench_saver SUFFIX .scr)

add_executable(bench_dormity bench/bench_dormity.cpp ${RES_OBJECT})
target_link_libraries(bench_dormity PRIVATE test_support)
target_link_options(bench_dormity PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(bench_dormity dormity_resources bench_saver Dormity)
set_target_properties(bench_dormity PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
