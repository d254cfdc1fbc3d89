vaskimo_test(SafeFormatTest SOURCES SafeFormatTest.cpp LIBS shell)
