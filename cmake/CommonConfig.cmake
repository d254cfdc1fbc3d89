# Every target links common_cfg: one place for the language level and the warnings.
add_library(common_cfg INTERFACE)
target_compile_features(common_cfg INTERFACE cxx_std_20)
target_compile_options(common_cfg INTERFACE -Wall -Wextra)
target_compile_definitions(common_cfg INTERFACE
  VASKIMO_VERSION="${PROJECT_VERSION}")

# With clang the fuzz harnesses (tests/fuzz) are libFuzzer targets: every target is then built with
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzer's coverage, so the parsers are watched
# where they live. Any other compiler builds the harnesses with a replay main instead.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(vaskimo_fuzz_default ON)
else()
  set(vaskimo_fuzz_default OFF)
endif()
option(VASKIMO_FUZZ "Build the fuzz harnesses as libFuzzer targets with ASan and UBSan (clang)" ${vaskimo_fuzz_default})
if(VASKIMO_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VASKIMO_FUZZ needs clang (libFuzzer); ${CMAKE_CXX_COMPILER_ID} builds the harnesses with their replay main when it is OFF")
endif()
if(VASKIMO_FUZZ)
  set(vaskimo_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  target_compile_options(common_cfg INTERFACE ${vaskimo_sanitizers} -fsanitize=fuzzer-no-link -fno-omit-frame-pointer)
  target_link_options(common_cfg INTERFACE ${vaskimo_sanitizers})
endif()
