vaskimo_test(FileDelThdsTest SOURCES FileDelThdsTest.cpp LIBS shell)
vaskimo_test(TulostaTest SOURCES TulostaTest.cpp LIBS shell_ui GUI)
