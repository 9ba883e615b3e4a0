# Renders each manual page as man shows it at 80 columns, where groff warns
# about anything it cannot set, and checks that the page carries what the
# program's help does not say.
#   cmake -DPAGES=a.1;b.1 -P check_manual_pages.cmake

foreach(page IN LISTS PAGES)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 man --warnings -l "${page}"
    RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
  if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "${page} does not render cleanly (${result}):\n${warnings}")
  endif()
  get_filename_component(program "${page}" NAME_WE)
  set(sections NAME SYNOPSIS DESCRIPTION "LIBRARY SEARCH" ENVIRONMENT EXAMPLES "SEE ALSO")
  if(program STREQUAL "corvane")
    list(APPEND sections "EXIT STATUS")
  endif()
  foreach(section IN LISTS sections)
    if(NOT text MATCHES "\n${section}\n")
      message(FATAL_ERROR "${page} has no section ${section}:\n${text}")
    endif()
  endforeach()
  foreach(words "--version" "CORVANE_SYSTEM_PATH" "WINEPREFIX")
    if(NOT text MATCHES "${words}")
      message(FATAL_ERROR "${page} does not mention ${words}:\n${text}")
    endif()
  endforeach()
endforeach()
