# Tests of the undo manager: its logic without a window, and the window offscreen.
vaskimo_test(UndoManagerTest SOURCES UndoManagerTest.cpp LIBS registry)
vaskimo_test(UndoTest SOURCES UndoTest.cpp LIBS registry_ui GUI)
