# Startup manager: locations and scanner (core), window (widgets).
target_sources(registry PRIVATE StartupThds.h StartupThds.cpp)
target_sources(registry_ui PRIVATE Startup.h Startup.cpp)
