# target_sources(shell|shell_ui PRIVATE ...)
