vaskimo_test(UnnecessaryThdsTest SOURCES UnnecessaryThdsTest.cpp LIBS files)
vaskimo_test(UnnecessaryTest SOURCES UnnecessaryTest.cpp LIBS files_ui GUI)
