# Standard output and standard error, sent together through one pipe
# (`2>&1 | cat`), come out in the order the program wrote them: each pattern
# of PATTERNS is found after the one before it.
#
#   cmake "-DCOMMAND=prog;arg" "-DPATTERNS=first|second" -P stream_order.cmake

cmake_minimum_required(VERSION 3.25)
set(quoted "")
foreach(arg IN LISTS COMMAND)
  string(APPEND quoted " '${arg}'")
endforeach()
execute_process(COMMAND sh -c "${quoted} 2>&1 </dev/null | cat" OUTPUT_VARIABLE text TIMEOUT 60)
string(REPLACE "|" ";" patterns "${PATTERNS}")
set(rest "${text}")
foreach(pattern IN LISTS patterns)
  string(REGEX MATCH "${pattern}.*" after "${rest}")
  if(after STREQUAL "")
    message(FATAL_ERROR "'${pattern}' is not where the order of writing puts it in:\n${text}")
  endif()
  string(REGEX REPLACE "^${pattern}" "" rest "${after}")
endforeach()
