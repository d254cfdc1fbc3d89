# Comma text, sorted string lists and the INI engine.
target_sources(platform PRIVATE
  CommaText.h CommaText.cpp
  SortedStringList.h SortedStringList.cpp
  IniFile.h IniFile.cpp)
