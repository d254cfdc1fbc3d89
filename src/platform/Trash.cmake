# target_sources(platform PRIVATE ...) for the Trash units
