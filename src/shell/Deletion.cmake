# The file-deletion service: the deletion thread (core) and its progress window.
target_sources(shell PRIVATE FileDelThds.h FileDelThds.cpp DeletionReasons.h DeletionReasons.cpp)
target_sources(shell_ui PRIVATE Tulosta.h Tulosta.cpp)
