vaskimo_test(md5Test SOURCES md5Test.cpp LIBS files)
vaskimo_test(DuplicateThdsTest SOURCES DuplicateThdsTest.cpp LIBS files)
