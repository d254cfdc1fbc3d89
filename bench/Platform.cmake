# Platform benchmarks.
add_executable(bench_hive HiveBench.cpp)
target_link_libraries(bench_hive PRIVATE platform common_cfg)
add_executable(bench_trash TrashBench.cpp)
target_link_libraries(bench_trash PRIVATE platform common_cfg)
