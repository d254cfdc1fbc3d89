# What the tool windows share: closing during a search, background, listing name, settings keys.
target_sources(shell_ui PRIVATE ToolWindow.h ToolWindow.cpp)
