# Shell links and PE version resources.
target_sources(platform PRIVATE
  LnkReader.h LnkReader.cpp
  PeReader.h PeReader.cpp)
