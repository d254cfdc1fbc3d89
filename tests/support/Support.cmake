# Test-support sources: target_sources(testsupport PRIVATE ...)
