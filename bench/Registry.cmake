# Registry cleaner benchmark: a scan of a prefix the size of a fresh Wine prefix.
add_executable(bench_registry RegistryBench.cpp)
target_link_libraries(bench_registry PRIVATE registry common_cfg)
# Deleting registry values: "-delreg" against "-reg" and Wine's "regedit /s" on a wineboot prefix
# (Wine through the test helpers, so only where the tests are built).
if(TARGET testsupport)
  add_executable(bench_registry_delete DeleteBench.cpp BenchSupport.h)
  target_link_libraries(bench_registry_delete PRIVATE testsupport Qt6::Core common_cfg)
  vaskimo_bench_of_program(bench_registry_delete)
endif()
# Big lists: the main thread's longest event-loop gap while the registry cleaner deletes many values
# and the undo manager loads their undo file.
if(TARGET testsupport)
  add_executable(bench_big_lists BigListsBench.cpp)
  target_link_libraries(bench_big_lists PRIVATE registry_ui testsupport Qt6::Widgets common_cfg)
endif()
