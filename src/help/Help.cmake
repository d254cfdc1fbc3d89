# target_sources(help|help_ui PRIVATE ...)
