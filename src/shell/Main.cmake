# Start, main window and its services, batch mode.
target_sources(shell PRIVATE
  Batch.h Batch.cpp BatchLocale.cpp
  SingleInstance.h SingleInstance.cpp
  Services.h Services.cpp)
target_sources(shell_ui PRIVATE
  Main.h Main.cpp)
