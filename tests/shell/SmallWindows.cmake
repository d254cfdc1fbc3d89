vaskimo_test(ListingTest SOURCES ListingTest.cpp LIBS shell_ui GUI)
