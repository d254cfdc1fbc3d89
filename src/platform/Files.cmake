# Drives, paths, listings, wildcards, DOS time, disk space.
target_sources(platform PRIVATE
  DriveMap.h DriveMap.cpp
  WinFiles.h WinFiles.cpp WinFilesPrefix.cpp
  DurableFile.h DurableFile.cpp
)
