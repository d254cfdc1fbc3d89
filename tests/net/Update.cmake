# The automatic update check is compiled into net_ui, so its test is built here.
vaskimo_test(AutoUpdateTest SOURCES ${PROJECT_SOURCE_DIR}/tests/shell/AutoUpdateTest.cpp LIBS net_ui GUI)
