# Each program's manual page names the options its --help names, no more and
# no fewer (rotabench's help is its usage line).
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
