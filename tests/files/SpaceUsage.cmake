vaskimo_test(FileInfoTest SOURCES FileInfoTest.cpp DeepTree.h LIBS files)
vaskimo_test(MetafileTest SOURCES MetafileTest.cpp LIBS files)
vaskimo_test(ChartsTest SOURCES ChartsTest.cpp DeepTree.h LIBS files_ui GUI)
vaskimo_test(PieChartTest SOURCES PieChartTest.cpp LIBS files_ui GUI)
