# Settings, translation, safe format (core); window translation and the custom buttons (widgets).
target_sources(shell PRIVATE
  Settings.h Settings.cpp
  IniLang.h IniLang.cpp
  SafeFormat.h SafeFormat.cpp)
target_sources(shell_ui PRIVATE
  IniLangUi.h IniLangUi.cpp
  SettingsUi.h SettingsUi.cpp
  Buttons.h Buttons.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../resources/Icons.qrc)
# A label that shows a long path cut in the middle.
target_sources(shell_ui PRIVATE PathLabel.h PathLabel.cpp)
