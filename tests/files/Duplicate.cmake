vaskimo_test(md5Test SOURCES md5Test.cpp LIBS files)
vaskimo_test(DuplicateThdsTest SOURCES DuplicateThdsTest.cpp LIBS files)
vaskimo_test(DuplicateTest SOURCES DuplicateTest.cpp LIBS files_ui GUI)
vaskimo_test(DuplicateLogTest SOURCES DuplicateLogTest.cpp LIBS files)
