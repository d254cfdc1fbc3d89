# target_sources(registry|registry_ui PRIVATE ...)
