# Builds the Debian package as a user would (cpack -G DEB in the build
# folder), checks its name, fields and contents, then unpacks it into a
# scratch root and runs corvane-dump from there on the sample.
#   cmake -DCPACK=... -DBUILD_DIR=... -DSCRATCH=... -DVERSION=... -DSIZES=16;32
#         -DSAMPLE=.../hello.exe -P check_package.cmake

function(run output_variable)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${result}):\n${output}${errors}")
  endif()
  set(${output_variable} "${output}" PARENT_SCOPE)
endfunction()

function(expect_equal what actual expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what}:\n  got      '${actual}'\n  expected '${expected}'")
  endif()
endfunction()

file(REMOVE_RECURSE "${SCRATCH}")
run(ignored "${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${SCRATCH}/out")
run(architecture dpkg --print-architecture)
string(STRIP "${architecture}" architecture)
file(GLOB packages RELATIVE "${SCRATCH}/out" "${SCRATCH}/out/*.deb")
expect_equal("the package file" "${packages}" "corvane_${VERSION}_${architecture}.deb")
set(package "${SCRATCH}/out/${packages}")

# Fields: Depends comes from dpkg-shlibdeps, so it names Qt's libraries
# with versions; the rest is as written.
foreach(field Package Version Section Maintainer)
  run(value dpkg-deb --field "${package}" ${field})
  string(STRIP "${value}" ${field})
endforeach()
expect_equal("Package" "${Package}" "corvane")
expect_equal("Version" "${Version}" "${VERSION}")
expect_equal("Section" "${Section}" "devel")
expect_equal("Maintainer" "${Maintainer}" "Corvane maintainers <maintainers@corvane.invalid>")
run(depends dpkg-deb --field "${package}" Depends)
foreach(library libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libc6 libstdc\\+\\+6)
  if(NOT depends MATCHES "(^|, )${library}[^,]*\\(>= [^)]+\\)")
    message(FATAL_ERROR "Depends does not name ${library} with a version: ${depends}")
  endif()
endforeach()

# Every file the package holds, and nothing else: no test, benchmark,
# example or plugin, nothing of the build tree.
set(expected
  ./usr/bin/corvane
  ./usr/bin/corvane-dump
  ./usr/share/applications/corvane.desktop
  ./usr/share/bash-completion/completions/corvane-dump
  ./usr/share/doc/corvane/changelog.Debian.gz
  ./usr/share/doc/corvane/copyright
  ./usr/share/man/man1/corvane-dump.1.gz
  ./usr/share/man/man1/corvane.1.gz
  ./usr/share/metainfo/invalid.corvane.corvane.metainfo.xml)
foreach(size IN LISTS SIZES)
  list(APPEND expected ./usr/share/icons/hicolor/${size}x${size}/apps/corvane.png)
endforeach()
list(SORT expected)
run(listing dpkg-deb --contents "${package}")
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(files)
foreach(line IN LISTS lines)
  # "-rw-r--r-- root/root 1234 2026-12-07 00:00 ./usr/bin/corvane"
  if(line MATCHES "^([-dl])[rwxs-]+ root/root +[0-9]+ [0-9-]+ [0-9:]+ (.*)$")
    if(NOT CMAKE_MATCH_1 STREQUAL "d")
      list(APPEND files "${CMAKE_MATCH_2}")
    endif()
  else()
    message(FATAL_ERROR "an entry not owned by root or of an odd kind: ${line}")
  endif()
endforeach()
list(SORT files)
expect_equal("the package's files" "${files}" "${expected}")

# Unpacked into a scratch root, the programs run from there: stripped, and
# with the options the manual pages were made from.
set(root "${SCRATCH}/root")
run(ignored dpkg-deb -x "${package}" "${root}")
foreach(program corvane corvane-dump)
  run(description file --brief "${root}/usr/bin/${program}")
  if(NOT description MATCHES ", stripped")
    message(FATAL_ERROR "${program} is not stripped: ${description}")
  endif()
endforeach()
run(version "${root}/usr/bin/corvane-dump" --version)
expect_equal("the unpacked corvane-dump's version" "${version}" "corvane-dump ${VERSION}\n")
get_filename_component(sample_folder "${SAMPLE}" DIRECTORY)
execute_process(COMMAND "${root}/usr/bin/corvane-dump" --modules "${SAMPLE}"
  WORKING_DIRECTORY "${sample_folder}" RESULT_VARIABLE result OUTPUT_VARIABLE modules ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT modules MATCHES "\tgreeter\\.dll => ${sample_folder}/greeter\\.dll\n")
  message(FATAL_ERROR "the unpacked corvane-dump --modules gave ${result}:\n${modules}${errors}")
endif()

# Manual pages and changelog are compressed as Debian wants: the gzip
# header holds no file name and no time stamp (-n) and says best
# compression (-9).
foreach(compressed usr/share/man/man1/corvane.1.gz usr/share/man/man1/corvane-dump.1.gz
                   usr/share/doc/corvane/changelog.Debian.gz)
  file(READ "${root}/${compressed}" header LIMIT 10 HEX)
  # ID1 ID2 CM, FLG, MTIME (4 bytes), XFL.
  string(SUBSTRING "${header}" 6 2 flags)
  string(SUBSTRING "${header}" 8 8 mtime)
  string(SUBSTRING "${header}" 16 2 extra_flags)
  if(NOT flags STREQUAL "00" OR NOT mtime STREQUAL "00000000" OR NOT extra_flags STREQUAL "02")
    message(FATAL_ERROR "${compressed} was not compressed with gzip -n -9 (header ${header})")
  endif()
endforeach()
