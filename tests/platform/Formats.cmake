# Shell links and PE version resources.
vaskimo_test(LnkReaderTest SOURCES LnkReaderTest.cpp LIBS platform)
vaskimo_test(PeReaderTest SOURCES PeReaderTest.cpp LIBS platform)
