# Unnecessary files: "-unn" against find listing the files, "-delunn" against find -delete.
add_executable(bench_unnecessary UnnecessaryBench.cpp BenchSupport.h)
target_link_libraries(bench_unnecessary PRIVATE Qt6::Core common_cfg)
add_dependencies(bench_unnecessary vaskimo)
target_compile_definitions(bench_unnecessary PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  VASKIMO_DEMO_PREFIX="${CMAKE_SOURCE_DIR}/examples/demo-prefix" VASKIMO_BLACKLIST="${CMAKE_BINARY_DIR}/src/BlackLst.vkb")
# File deletion: the deletion thread's batches against one call of the file layer.
add_executable(bench_deletion DeletionBench.cpp BenchSupport.h)
target_link_libraries(bench_deletion PRIVATE shell common_cfg)
target_compile_definitions(bench_deletion PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  VASKIMO_DEMO_PREFIX="${CMAKE_SOURCE_DIR}/examples/demo-prefix" VASKIMO_BLACKLIST="${CMAKE_BINARY_DIR}/src/BlackLst.vkb")
