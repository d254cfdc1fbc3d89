vaskimo_test(UpdateInfoTest SOURCES UpdateInfoTest.cpp LIBS net)
