# Help engine, hook, log and viewer tests; the CHM writer makes their CHM files.
add_library(chm_builder STATIC ChmBuilder.h ChmBuilder.cpp)
target_link_libraries(chm_builder PUBLIC chm_writer Qt6::Gui PRIVATE common_cfg)
target_include_directories(chm_builder PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
vaskimo_test(ChmFileTest SOURCES ChmFileTest.cpp LIBS help_core chm_builder GUI)
vaskimo_test(HhTest SOURCES HhTest.cpp LIBS help_core)
vaskimo_test(HhFuncsTest SOURCES HhFuncsTest.cpp LIBS help_core chm_builder)
vaskimo_test(HelpViewerTest SOURCES HelpViewerTest.cpp LIBS help_ui chm_builder GUI)
# The shipped help file against Debian's libchm tools, and the build's help compiler.
vaskimo_test(HelpFileTest SOURCES HelpFileTest.cpp HelpTopics.h LIBS help_core chm_writer)
add_dependencies(HelpFileTest vaskimo_help vkchm)
target_compile_definitions(HelpFileTest PRIVATE VASKIMO_HELP_FILE="${VASKIMO_HELP_FILE}" VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  HELP_SOURCE="${PROJECT_SOURCE_DIR}/src/resources/help/VKEnglish" VKCHM_EXE="$<TARGET_FILE:vkchm>")
vaskimo_test(HelpF1Test SOURCES HelpF1Test.cpp HelpTopics.h LIBS help_ui windowtour GUI)
add_dependencies(HelpF1Test vaskimo_help)
target_compile_definitions(HelpF1Test PRIVATE VASKIMO_HELP_FILE="${VASKIMO_HELP_FILE}"
  HELP_SOURCE="${PROJECT_SOURCE_DIR}/src/resources/help/VKEnglish")
target_include_directories(HelpF1Test PRIVATE ${PROJECT_SOURCE_DIR}/tests/shell)
