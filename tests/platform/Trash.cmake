vaskimo_test(TrashTest SOURCES TrashTest.cpp LIBS platform)
