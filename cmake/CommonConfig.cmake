# Every target links common_cfg: one place for the language level and the warnings.
add_library(common_cfg INTERFACE)
target_compile_features(common_cfg INTERFACE cxx_std_20)
target_compile_options(common_cfg INTERFACE -Wall -Wextra)
target_compile_definitions(common_cfg INTERFACE
  VASKIMO_VERSION="${PROJECT_VERSION}")
