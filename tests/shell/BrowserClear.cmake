vaskimo_test(BrowserClearTest SOURCES BrowserClearTest.cpp LIBS shell_ui GUI)
# The built program's browser switches on a prefix made by Wine's own wineboot.
vaskimo_test(BrowserClearWineTest SOURCES BrowserClearWineTest.cpp LIBS Qt6::Core)
add_dependencies(BrowserClearWineTest vaskimo)
target_compile_definitions(BrowserClearWineTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
