vaskimo_test(UpdateInfoTest SOURCES UpdateInfoTest.cpp LIBS net)
vaskimo_test(UpdateTest SOURCES UpdateTest.cpp LIBS net_ui GUI)
vaskimo_test(AutoUpdateTest SOURCES ${PROJECT_SOURCE_DIR}/tests/shell/AutoUpdateTest.cpp LIBS net_ui GUI)
vaskimo_test(UpdateNginxTest SOURCES UpdateNginxTest.cpp LIBS net_ui GUI)
