# Help engine, hook, log and viewer tests; ChmBuilder writes their CHM files.
add_library(chm_builder STATIC ChmBuilder.h ChmBuilder.cpp)
target_link_libraries(chm_builder PUBLIC Qt6::Gui PRIVATE common_cfg)
target_include_directories(chm_builder PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
vaskimo_test(ChmFileTest SOURCES ChmFileTest.cpp LIBS help_core chm_builder GUI)
vaskimo_test(HhTest SOURCES HhTest.cpp LIBS help_core)
vaskimo_test(HhFuncsTest SOURCES HhFuncsTest.cpp LIBS help_core chm_builder)
vaskimo_test(HelpViewerTest SOURCES HelpViewerTest.cpp LIBS help_ui chm_builder GUI)
