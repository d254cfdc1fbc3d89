# Help engine over libchm (help_core), the help hook and its log; the QTextBrowser viewer (help_ui).
find_library(CHM_LIBRARY chm REQUIRED)
find_path(CHM_INCLUDE_DIR chm_lib.h REQUIRED)
target_sources(help_core PRIVATE ChmFile.h ChmFile.cpp ChmLayout.h ChmLayout.cpp)
target_include_directories(help_core PRIVATE ${CHM_INCLUDE_DIR})
target_link_libraries(help_core PRIVATE ${CHM_LIBRARY})
target_sources(help_core PRIVATE hh.h hh.cpp hh_funcs.h hh_funcs.cpp)
target_sources(help_ui PRIVATE HelpViewer.h HelpViewer.cpp)
# The CHM writer and vkchm, the build's help compiler (QtCore and the platform only, so it builds before the windows).
add_library(chm_writer STATIC ChmWriter.h ChmWriter.cpp)
target_link_libraries(chm_writer PUBLIC Qt6::Core PRIVATE platform common_cfg)
target_include_directories(chm_writer PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
add_executable(vkchm ChmCompile.cpp)
target_link_libraries(vkchm PRIVATE chm_writer common_cfg)
