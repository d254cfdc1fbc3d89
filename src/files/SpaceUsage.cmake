# target_sources(files|files_ui PRIVATE ...)
