vaskimo_test(ListingTest SOURCES ListingTest.cpp LIBS shell_ui GUI)
vaskimo_test(AboutTest SOURCES AboutTest.cpp LIBS shell_ui GUI)
vaskimo_test(SplashTest SOURCES SplashTest.cpp LIBS shell_ui GUI)
vaskimo_test(LanguageChooserTest SOURCES LanguageChooserTest.cpp LIBS shell_ui GUI)
