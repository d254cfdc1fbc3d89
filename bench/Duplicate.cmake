# Duplicate finder: "vaskimo -dup -exit" (or its three stages in-process) against jdupes and fdupes.
add_executable(bench_duplicate DuplicateBench.cpp BenchSupport.h)
target_link_libraries(bench_duplicate PRIVATE files common_cfg)
vaskimo_bench_of_program(bench_duplicate)
