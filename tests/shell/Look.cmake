# Every window on the demo prefix: what a user reads at the default size, and the screenshots.
add_library(windowtour STATIC WindowTour.h WindowTour.cpp)
target_link_libraries(windowtour PUBLIC shell_ui registry_ui files_ui net_ui testsupport Qt6::Test PRIVATE common_cfg)
target_compile_definitions(windowtour PRIVATE VASKIMO_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
add_executable(screenshots Screenshots.cpp)
target_link_libraries(screenshots PRIVATE windowtour common_cfg)
vaskimo_test(WindowLookTest SOURCES WindowLookTest.cpp LIBS windowtour GUI)
vaskimo_test(ButtonIconsTest SOURCES ButtonIconsTest.cpp LIBS windowtour GUI)
