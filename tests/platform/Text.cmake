vaskimo_test(CommaTextTest SOURCES CommaTextTest.cpp LIBS platform)
vaskimo_test(SortedStringListTest SOURCES SortedStringListTest.cpp LIBS platform)
vaskimo_test(IniFileTest SOURCES IniFileTest.cpp LIBS platform)
