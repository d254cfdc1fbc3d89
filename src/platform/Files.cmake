# target_sources(platform PRIVATE ...) for the Files units
