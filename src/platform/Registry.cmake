# Hives, registry accessor, prefix, environment, code page.
target_sources(platform PRIVATE
  HiveFile.h HiveFile.cpp
  Registry.h Registry.cpp
  WinePrefix.h WinePrefix.cpp
  LocalSocket.h LocalSocket.cpp
  WinEnvironment.h WinEnvironment.cpp
  CodePage.h CodePage.cpp
)
