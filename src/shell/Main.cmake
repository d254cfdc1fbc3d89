# Start, main window and its services, batch mode.
target_sources(shell PRIVATE
  Batch.h Batch.cpp BatchLocale.cpp
  SingleInstance.h SingleInstance.cpp
  StopSignals.h StopSignals.cpp
  Services.h Services.cpp)
target_sources(shell_ui PRIVATE
  Main.h MainImpl.h Main.cpp MainTray.cpp MainBackground.cpp
  JpegImage.h JpegImage.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms/Main.ui
  ${CMAKE_CURRENT_SOURCE_DIR}/../resources/Main.qrc)
set_property(TARGET shell_ui APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms)
