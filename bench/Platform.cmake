# Platform benchmarks.
add_executable(bench_hive HiveBench.cpp)
target_link_libraries(bench_hive PRIVATE platform common_cfg)
