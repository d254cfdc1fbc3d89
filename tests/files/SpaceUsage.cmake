vaskimo_test(FileInfoTest SOURCES FileInfoTest.cpp LIBS files)
vaskimo_test(MetafileTest SOURCES MetafileTest.cpp LIBS files)
