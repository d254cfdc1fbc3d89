# Browser data and recent-documents clearing: the clear lists (core) and the buttons' messages.
target_sources(shell PRIVATE BrowserClear.h BrowserClear.cpp)
target_sources(shell_ui PRIVATE BrowserClearUi.cpp)
