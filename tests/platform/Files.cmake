# Drives, paths, listings, wildcards, DOS time, disk space.
vaskimo_test(DriveMapTest SOURCES DriveMapTest.cpp LIBS platform)
vaskimo_test(WinFilesTest SOURCES WinFilesTest.cpp LIBS platform)
vaskimo_test(DemoPrefixTest SOURCES DemoPrefixTest.cpp LIBS platform)
vaskimo_test(DurableFileTest SOURCES DurableFileTest.cpp LIBS platform)
