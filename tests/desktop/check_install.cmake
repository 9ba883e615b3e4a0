# Installs the build into a fresh prefix and checks what a desktop needs
# from it: both programs (corvane-dump must run), a valid desktop entry, and
# the icon at each size, each PNG as large as its folder says.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSIZES=16;32 -DVALIDATOR=... -P check_install.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

if(NOT EXISTS "${PREFIX}/bin/corvane")
  message(FATAL_ERROR "bin/corvane was not installed")
endif()
execute_process(COMMAND "${PREFIX}/bin/corvane-dump" RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 2)
  message(FATAL_ERROR "the installed corvane-dump did not run (usage status 2 expected, got ${result})")
endif()

set(ENTRY "${PREFIX}/share/applications/corvane.desktop")
if(NOT EXISTS "${ENTRY}")
  message(FATAL_ERROR "share/applications/corvane.desktop was not installed")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/validate_entry.cmake")

foreach(size IN LISTS SIZES)
  set(icon "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/corvane.png")
  if(NOT EXISTS "${icon}")
    message(FATAL_ERROR "the ${size}x${size} icon was not installed")
  endif()
  # The PNG signature, then the IHDR chunk whose first fields are the width
  # and the height, 32-bit big-endian.
  file(READ "${icon}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "${icon} is not a ${size}x${size} PNG (${width}x${height})")
  endif()
endforeach()
