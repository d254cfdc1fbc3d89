# Duplicate finder: digests and the three worker stages in `files`; its window in `files_ui`.
target_sources(files PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/md5.h ${CMAKE_CURRENT_LIST_DIR}/md5.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Crc32.h ${CMAKE_CURRENT_LIST_DIR}/Crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DuplicateContents.h ${CMAKE_CURRENT_LIST_DIR}/DuplicateContents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DuplicateThds.h ${CMAKE_CURRENT_LIST_DIR}/DuplicateThds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DuplicateLog.h ${CMAKE_CURRENT_LIST_DIR}/DuplicateLog.cpp)
target_sources(files_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Duplicate.h ${CMAKE_CURRENT_LIST_DIR}/Duplicate.cpp)
