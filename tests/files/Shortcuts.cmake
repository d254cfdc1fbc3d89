vaskimo_test(ShortcutScanTest SOURCES ShortcutScanTest.cpp LnkBuilder.h LIBS files)
vaskimo_test(StartTest SOURCES StartTest.cpp LnkBuilder.h LIBS files_ui GUI)
# The built program's -delsho on a prefix made by Wine's own wineboot, with a home behind its profile links.
vaskimo_test(ShortcutWineTest SOURCES ShortcutWineTest.cpp LnkBuilder.h LIBS platform)
add_dependencies(ShortcutWineTest vaskimo)
target_compile_definitions(ShortcutWineTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
