vaskimo_test(ToolWindowTest SOURCES ToolWindowTest.cpp LIBS shell_ui GUI)
