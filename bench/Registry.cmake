# Registry cleaner benchmark: a scan of a prefix the size of a fresh Wine prefix.
add_executable(bench_registry RegistryBench.cpp)
target_link_libraries(bench_registry PRIVATE registry common_cfg)
# Deleting registry values: "-delreg" against "-reg" and Wine's "regedit /s" on a wineboot prefix.
add_executable(bench_registry_delete DeleteBench.cpp)
target_link_libraries(bench_registry_delete PRIVATE Qt6::Core common_cfg)
add_dependencies(bench_registry_delete vaskimo)
target_compile_definitions(bench_registry_delete PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  VASKIMO_BLACKLIST="${CMAKE_BINARY_DIR}/src/BlackLst.vkb")
