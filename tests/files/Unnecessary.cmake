vaskimo_test(UnnecessaryThdsTest SOURCES UnnecessaryThdsTest.cpp LIBS files)
