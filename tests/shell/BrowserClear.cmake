vaskimo_test(BrowserClearTest SOURCES BrowserClearTest.cpp RefusingDeletionLayer.h LIBS shell_ui GUI)
