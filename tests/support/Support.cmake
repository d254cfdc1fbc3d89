# Test-support sources: target_sources(testsupport PRIVATE ...)
target_sources(testsupport PRIVATE
  support/PrefixBuilder.h support/PrefixBuilder.cpp support/BigRegistry.h
  support/MessageBoxCatcher.h support/DeletionLayers.h support/DemoPrefix.h support/ProgramCopy.h support/Pattern.h support/RunProcess.h support/SmallDisk.h support/BindMount.h support/WinebootHome.h support/TrashCli.h
  support/ProcessWait.h support/Needs.h support/Threads.h
  support/WineTools.h support/WineTools.cpp support/WinePrefixTest.h support/HiveCompare.h support/HiveCompare.cpp
)
