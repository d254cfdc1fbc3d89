# The update information file, version comparisons, safe downloads and the blacklist install (core);
# the update window and the automatic update check (widgets).
target_sources(net PRIVATE UpdateInfo.h UpdateInfo.cpp UpdateHttp.h UpdateHttp.cpp)
target_sources(net_ui PRIVATE
  Update.h Update.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../resources/forms/Update.ui
  ${CMAKE_CURRENT_SOURCE_DIR}/../shell/AutoUpdate.h ${CMAKE_CURRENT_SOURCE_DIR}/../shell/AutoUpdate.cpp)
set_property(TARGET net_ui APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/resources/forms)
