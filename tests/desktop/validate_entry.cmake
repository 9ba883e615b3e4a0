# Validates a desktop entry with desktop-file-validate; a hint counts as a
# finding, since the tool exits 0 on hints.
#   cmake -DVALIDATOR=... -DENTRY=... -P validate_entry.cmake
# Also included by check_install.cmake, which sets ENTRY itself.

if(NOT VALIDATOR)
  message(FATAL_ERROR "desktop-file-validate is missing: apt-get install desktop-file-utils")
endif()
execute_process(COMMAND "${VALIDATOR}" "${ENTRY}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "${ENTRY} does not validate:\n${output}")
endif()
