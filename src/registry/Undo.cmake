# The undo manager: its logic in registry, its window in registry_ui.
target_sources(registry PRIVATE UndoManager.h UndoManager.cpp UndoThds.h UndoThds.cpp)
target_sources(registry_ui PRIVATE Undo.h Undo.cpp ${PROJECT_SOURCE_DIR}/src/resources/forms/Undo.ui)
