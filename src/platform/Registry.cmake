# target_sources(platform PRIVATE ...) for the Registry units
