# Installed-programs scanner, its undo export (core) and the add/remove window.
target_sources(registry PRIVATE LisaaPoistaThds.h LisaaPoistaThds.cpp)
target_sources(registry_ui PRIVATE LisaaPoista.h LisaaPoista.cpp ${PROJECT_SOURCE_DIR}/src/resources/forms/LisaaPoista.ui)
