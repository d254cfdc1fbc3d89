# add_executable(bench_...)
