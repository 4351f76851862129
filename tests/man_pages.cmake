# Each program's manual page names the options its --help names, no more and
# no fewer (rotabench's help is its usage line), and so does the usage line.
#
#   cmake -DPROGRAMS=a|b -DMAN_DIR=docs/man -P man_pages.cmake

cmake_minimum_required(VERSION 3.25)
function(options_in text out)
  string(REGEX MATCHALL "--[a-z][a-z-]*[a-z]" found "${text}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" programs "${PROGRAMS}")
set(failures "")
foreach(program IN LISTS programs)
  get_filename_component(name "${program}" NAME_WE)
  execute_process(COMMAND "${program}" --help INPUT_FILE /dev/null OUTPUT_VARIABLE help ERROR_VARIABLE usage TIMEOUT 30)
  options_in("${help}${usage}" from_help)
  # The usage line (with the lines that go on from it) names every option too.
  string(REGEX MATCH "usage: [^\n]*(\n   [^\n]*)*" usage_lines "${help}${usage}")
  options_in("${usage_lines}" from_usage)
  if(NOT from_help STREQUAL from_usage)
    string(APPEND failures "${name}: --help names ${from_help}\n  its usage line names ${from_usage}\n")
  endif()
  file(READ "${MAN_DIR}/${name}.1" page)
  string(REPLACE "\\-" "-" page "${page}")
  options_in("${page}" from_page)
  if(NOT from_help STREQUAL from_page)
    string(APPEND failures "${name}: --help names ${from_help}\n  its manual page names ${from_page}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
