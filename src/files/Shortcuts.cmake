# The invalid-shortcut cleaner: the search and its tree (core) and its window.
target_sources(files PRIVATE ShortcutScan.h ShortcutScan.cpp)
target_sources(files_ui PRIVATE Start.h Start.cpp)
