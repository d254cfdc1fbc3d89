# Unnecessary files: "-unn" against find listing the files, "-delunn" against find -delete.
add_executable(bench_unnecessary UnnecessaryBench.cpp BenchSupport.h)
target_link_libraries(bench_unnecessary PRIVATE Qt6::Core common_cfg)
vaskimo_bench_of_program(bench_unnecessary)
# File deletion: the deletion thread's batches against one call of the file layer.
add_executable(bench_deletion DeletionBench.cpp BenchSupport.h)
target_link_libraries(bench_deletion PRIVATE shell common_cfg)
vaskimo_bench_of_program(bench_deletion)
# Space usage: the folder-size tree against du -sb.
add_executable(bench_space SpaceBench.cpp BenchSupport.h)
target_link_libraries(bench_space PRIVATE files common_cfg)
vaskimo_bench_of_program(bench_space)
# Invalid shortcuts: "-delsho" over a large desktop against find -xtype l.
add_executable(bench_shortcut ShortcutBench.cpp BenchSupport.h)
target_link_libraries(bench_shortcut PRIVATE Qt6::Core common_cfg)
vaskimo_bench_of_program(bench_shortcut)
