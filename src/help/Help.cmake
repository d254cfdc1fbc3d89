# target_sources(help_core|help_ui PRIVATE ...)
