vaskimo_test(ShortcutScanTest SOURCES ShortcutScanTest.cpp LnkBuilder.h LIBS files)
vaskimo_test(StartTest SOURCES StartTest.cpp LnkBuilder.h LIBS files_ui GUI)
