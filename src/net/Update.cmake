# The automatic update check lives in shell but is compiled into the update window's library.
target_sources(net_ui PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/../shell/AutoUpdate.h ${CMAKE_CURRENT_SOURCE_DIR}/../shell/AutoUpdate.cpp)
