# Start, main window and its services, batch mode.
vaskimo_test(BatchTest SOURCES BatchTest.cpp LIBS shell)
vaskimo_test(SingleInstanceTest SOURCES SingleInstanceTest.cpp LIBS shell)
vaskimo_test(ServicesTest SOURCES ServicesTest.cpp LIBS shell)
vaskimo_test(MainTest SOURCES MainTest.cpp LIBS shell_ui GUI)
vaskimo_test(JpegImageTest SOURCES JpegImageTest.cpp LIBS shell_ui GUI)
vaskimo_test(ProgramTest SOURCES ProgramTest.cpp LIBS Qt6::Core)
add_dependencies(ProgramTest vaskimo)
target_compile_definitions(ProgramTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
foreach(test TimeoutStopTest BatchUpdateCheckTest UnattendedTest)
  vaskimo_test(${test} SOURCES ${test}.cpp LIBS Qt6::Core)
  add_dependencies(${test} vaskimo)
  target_compile_definitions(${test} PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>")
endforeach()
vaskimo_test(ProgramVersionTest SOURCES ProgramVersionTest.cpp LIBS shell_ui net_ui help_core GUI)
target_compile_definitions(ProgramVersionTest PRIVATE
  PROJECT_VERSION_FOUR="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0"
  PROJECT_VERSION_MAJOR_MINOR="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
vaskimo_test(InstallTest SOURCES InstallTest.cpp LIBS Qt6::Gui)
add_dependencies(InstallTest vaskimo)
target_compile_definitions(InstallTest PRIVATE VASKIMO_EXE="$<TARGET_FILE:vaskimo>"
  VASKIMO_BUILD_DIR="${CMAKE_BINARY_DIR}" VASKIMO_CMAKE="${CMAKE_COMMAND}")
