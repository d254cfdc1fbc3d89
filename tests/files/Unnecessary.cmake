vaskimo_test(UnnecessaryThdsTest SOURCES UnnecessaryThdsTest.cpp LIBS files)
vaskimo_test(UnnecessaryTest SOURCES UnnecessaryTest.cpp LIBS files_ui GUI)
# The built program's -unn and -delunn on a prefix made by Wine's own wineboot, with a home behind its profile links.
vaskimo_test(UnnecessaryWineTest SOURCES UnnecessaryWineTest.cpp LIBS Qt6::Core)
add_dependencies(UnnecessaryWineTest vaskimo)
target_compile_definitions(UnnecessaryWineTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
