# The unnecessary-file finder: its scanner (core), the drive list and its window.
target_sources(files PRIVATE UnnecessaryThds.h UnnecessaryThds.cpp)
target_sources(files_ui PRIVATE DiskList.h DiskList.cpp FileColumns.h FileColumns.cpp Unnecessary.h Unnecessary.cpp)
