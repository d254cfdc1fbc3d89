# Registry cleaner benchmark: a scan of a prefix the size of a fresh Wine prefix.
add_executable(bench_registry RegistryBench.cpp)
target_link_libraries(bench_registry PRIVATE registry common_cfg)
