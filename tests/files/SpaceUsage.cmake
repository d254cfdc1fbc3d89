vaskimo_test(FileInfoTest SOURCES FileInfoTest.cpp LIBS files)
vaskimo_test(MetafileTest SOURCES MetafileTest.cpp LIBS files)
vaskimo_test(ChartsTest SOURCES ChartsTest.cpp LIBS files_ui GUI)
vaskimo_test(PieChartTest SOURCES PieChartTest.cpp LIBS files_ui GUI)
