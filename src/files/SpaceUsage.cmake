# Space usage: the folder-size tree and the picture writers in `files`; the chart, the folder tree and the window in `files_ui`.
target_sources(files PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FileInfo.h ${CMAKE_CURRENT_LIST_DIR}/FileInfo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Metafile.h ${CMAKE_CURRENT_LIST_DIR}/Metafile.cpp)
target_sources(files_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PieChart.h ${CMAKE_CURRENT_LIST_DIR}/PieChart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FolderTree.h ${CMAKE_CURRENT_LIST_DIR}/FolderTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Charts.h ${CMAKE_CURRENT_LIST_DIR}/Charts.cpp)
