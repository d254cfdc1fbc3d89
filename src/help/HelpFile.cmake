# The program's help, compiled at build time by vkchm into "Helps/VKEnglish.chm" beside the executable.
# VASKIMO_HELP_FILE names the file and the target vaskimo_help builds it (for install rules and tests).
set(_help_source ${PROJECT_SOURCE_DIR}/src/resources/help)
file(GLOB_RECURSE _help_pages CONFIGURE_DEPENDS ${_help_source}/VKEnglish/*)
set(VASKIMO_HELP_FILE ${CMAKE_CURRENT_BINARY_DIR}/Helps/VKEnglish.chm CACHE INTERNAL "the compiled English help")
add_custom_command(
  OUTPUT ${VASKIMO_HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/Helps
  COMMAND vkchm --title "Vaskimo Help" --default index.htm --contents contents.hhc
          --map ${_help_source}/VKEnglish.map --output ${VASKIMO_HELP_FILE} ${_help_source}/VKEnglish
  DEPENDS vkchm ${_help_pages} ${_help_source}/VKEnglish.map
  COMMENT "Compiling the help into Helps/VKEnglish.chm"
  VERBATIM)
add_custom_target(vaskimo_help ALL DEPENDS ${VASKIMO_HELP_FILE})
add_dependencies(vaskimo vaskimo_help)
