# Startup manager: the scanner, resolution and deletes; the window offscreen.
vaskimo_test(StartupThdsTest SOURCES StartupThdsTest.cpp LIBS registry)
vaskimo_test(StartupDeletionTest SOURCES StartupDeletionTest.cpp LIBS registry)
vaskimo_test(StartupTest SOURCES StartupTest.cpp LIBS registry_ui GUI)
