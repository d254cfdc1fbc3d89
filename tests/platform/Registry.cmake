# Hives, registry accessor, prefix, environment, code page.
vaskimo_test(RegistryTest SOURCES RegistryTest.cpp LIBS platform)
