# target_sources(platform PRIVATE ...) for the Formats units
