# Writes the bash completion for corvane-dump with the options its --help
# names, so that an option added to the help is completed without more ado.
#   cmake -DPROGRAM=corvane-dump -DTEMPLATE=... -DOUTPUT=... -P make_completion.cmake

execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${result})")
endif()

string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
list(REMOVE_DUPLICATES options)
list(SORT options)

# "--path DIR", "--from FILE", "--depth N": the word after an option, in
# capitals, says what it takes.
set(CORVANE_DUMP_FOLDER_OPTIONS)
set(CORVANE_DUMP_FILE_OPTIONS)
set(CORVANE_DUMP_VALUE_OPTIONS)
string(REGEX MATCHALL "--[a-z][a-z-]* [A-Z]+" with_values "${help}")
foreach(pair IN LISTS with_values)
  string(REPLACE " " ";" pair "${pair}")
  list(GET pair 0 option)
  list(GET pair 1 value)
  if(value STREQUAL "DIR")
    list(APPEND CORVANE_DUMP_FOLDER_OPTIONS ${option})
  elseif(value STREQUAL "FILE")
    list(APPEND CORVANE_DUMP_FILE_OPTIONS ${option})
  else()
    list(APPEND CORVANE_DUMP_VALUE_OPTIONS ${option})
  endif()
endforeach()

foreach(list_name options CORVANE_DUMP_FOLDER_OPTIONS CORVANE_DUMP_FILE_OPTIONS CORVANE_DUMP_VALUE_OPTIONS)
  list(REMOVE_DUPLICATES ${list_name})
  list(JOIN ${list_name} " " ${list_name})
endforeach()
set(CORVANE_DUMP_OPTIONS "${options}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
