# Duplicate finder: "vaskimo -dup -exit" (or its three stages in-process) against jdupes and fdupes.
add_executable(bench_duplicate DuplicateBench.cpp BenchSupport.h)
target_link_libraries(bench_duplicate PRIVATE files common_cfg)
add_dependencies(bench_duplicate vaskimo)
target_compile_definitions(bench_duplicate PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  VASKIMO_DEMO_PREFIX="${CMAKE_SOURCE_DIR}/examples/demo-prefix" VASKIMO_BLACKLIST="${CMAKE_BINARY_DIR}/src/BlackLst.vkb")
