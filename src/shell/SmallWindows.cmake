# Listing print and save, the options window, the about box, the splash window, the language chooser.
target_sources(shell_ui PRIVATE
  Listing.h Listing.cpp
  Options.h Options.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms/Options.ui
  About.h About.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms/About.ui
  Splash.h Splash.cpp
  LanguageChooser.h LanguageChooser.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms/LanguageChooser.ui
  ${CMAKE_CURRENT_SOURCE_DIR}/../resources/Splash.qrc)
