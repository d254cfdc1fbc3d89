vaskimo_test(md5Test SOURCES md5Test.cpp LIBS files)
vaskimo_test(DuplicateThdsTest SOURCES DuplicateThdsTest.cpp LIBS files)
vaskimo_test(DuplicateContentsTest SOURCES DuplicateContentsTest.cpp LIBS files)
vaskimo_test(DuplicateTest SOURCES DuplicateTest.cpp LIBS files_ui GUI)
vaskimo_test(DuplicateLogTest SOURCES DuplicateLogTest.cpp LIBS files)
# The built program's -dup on a prefix made by Wine's own wineboot, with a home behind its profile links.
vaskimo_test(DuplicateWineTest SOURCES DuplicateWineTest.cpp LIBS Qt6::Core)
add_dependencies(DuplicateWineTest vaskimo)
target_compile_definitions(DuplicateWineTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
# The log of the built program's -dup reopened in the duplicate window offscreen.
vaskimo_test(DuplicateLogWineTest SOURCES DuplicateLogWineTest.cpp LIBS files_ui GUI)
add_dependencies(DuplicateLogWineTest vaskimo)
target_compile_definitions(DuplicateLogWineTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
