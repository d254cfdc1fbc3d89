# The update information file, version comparisons, safe downloads and the blacklist install (core).
target_sources(net PRIVATE UpdateInfo.h UpdateInfo.cpp UpdateHttp.h UpdateHttp.cpp)
