# corvane --help and --version answer without a display (help2man runs them
# while building): with no display named, a QApplication would abort.
#   cmake -DPROGRAM=.../corvane -DVERSION=1.4.0.0 -P check_without_display.cmake

foreach(option --version --help)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
      "${PROGRAM}" ${option}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "corvane ${option} failed without a display (${result}):\n${output}${errors}")
  endif()
  if(option STREQUAL "--version" AND NOT output STREQUAL "corvane ${VERSION}\n")
    message(FATAL_ERROR "corvane --version printed '${output}', not 'corvane ${VERSION}'")
  endif()
  if(option STREQUAL "--help" AND NOT output MATCHES "^Usage: corvane .*\n  --  ")
    message(FATAL_ERROR "corvane --help printed no usage with --:\n${output}")
  endif()
endforeach()
