# Every window on the demo prefix: what a user reads at the default size, and the screenshots.
add_library(windowtour STATIC WindowTour.h WindowTour.cpp)
target_link_libraries(windowtour PUBLIC shell_ui registry_ui files_ui net_ui testsupport Qt6::Test PRIVATE common_cfg test_cfg)
target_compile_definitions(windowtour PRIVATE VASKIMO_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
add_executable(screenshots Screenshots.cpp)
target_link_libraries(screenshots PRIVATE windowtour common_cfg)
vaskimo_test(WindowLookTest SOURCES WindowLookTest.cpp LIBS windowtour GUI)
vaskimo_test(ButtonIconsTest SOURCES ButtonIconsTest.cpp LIBS windowtour GUI)
# Every window's Alt keys, and a language file's own.
vaskimo_test(MnemonicsTest SOURCES MnemonicsTest.cpp LIBS windowtour help_ui GUI)
# Every window inside small screens: 640 x 480 (a 1280 x 960 screen at twice the scale) and 1024 x 768.
vaskimo_test(WindowFitTest SOURCES WindowFitTest.cpp LIBS windowtour help_ui GUI)
set_tests_properties(WindowFitTest PROPERTIES ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/fixtures/screens/640x480.json")
add_test(NAME WindowFitTest1024 COMMAND WindowFitTest)
set_tests_properties(WindowFitTest1024 PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/fixtures/screens/1024x768.json")
vaskimo_test(LanguageSwitchTest SOURCES LanguageSwitchTest.cpp LIBS windowtour GUI)
# Every tool window's size and sort from one session to the next, through Options.ini.
vaskimo_test(WindowSessionTest SOURCES WindowSessionTest.cpp LIBS windowtour GUI)
