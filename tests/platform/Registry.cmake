# Hives, registry accessor, prefix, environment, code page.
vaskimo_test(RegistryTest SOURCES RegistryTest.cpp LIBS platform)
vaskimo_test(WinEnvironmentTest SOURCES WinEnvironmentTest.cpp LIBS platform)
vaskimo_test(CodePageTest SOURCES CodePageTest.cpp LIBS platform)
# The hive reader against Wine's loader (reg query).
vaskimo_test(HiveWineTest SOURCES HiveWineTest.cpp LIBS platform)
