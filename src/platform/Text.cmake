# target_sources(platform PRIVATE ...) for the Text units
