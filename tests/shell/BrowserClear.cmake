vaskimo_test(BrowserClearTest SOURCES BrowserClearTest.cpp LIBS shell_ui GUI)
