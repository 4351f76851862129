# Runs one program of the Windows build (under wine in the cross build) and
# checks its exit code and what it printed.
#
#   cmake -DPROGRAM=... [-DEMULATOR=a|b|c] [-DARGS=x|y] -DEXIT_CODE=n
#         [-DSTDOUT=text] [-DSTDERR=text] [-DSTDOUT_HAS=t1|t2] -P check_program.cmake
#
# STDOUT / STDERR are the whole expected text, each line ended by "\n" in the
# check (give them without their last newline; "<empty>" for nothing).
# STDOUT_HAS lists texts that standard output must contain. Lists are
# separated by "|" so they pass through add_test() whole. The C runtime of
# Windows writes "\r\n" for each "\n" on a redirected stream; that is undone
# before comparing.

cmake_minimum_required(VERSION 3.25)

foreach(required PROGRAM EXIT_CODE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "check_program: ${required} not given")
  endif()
endforeach()

set(command)
if(EMULATOR)
  string(REPLACE "|" ";" command "${EMULATOR}")
endif()
list(APPEND command "${PROGRAM}")
if(DEFINED ARGS AND NOT ARGS STREQUAL "")
  string(REPLACE "|" ";" arg_list "${ARGS}")
  list(APPEND command ${arg_list})
endif()

execute_process(
  COMMAND ${command}
  INPUT_FILE /dev/null
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 240)

string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")

set(failures "")

if(NOT "${result}" STREQUAL "${EXIT_CODE}")
  string(APPEND failures "exit code: expected ${EXIT_CODE}, got '${result}'\n")
endif()

foreach(stream STDOUT STDERR)
  if(DEFINED ${stream})
    if("${${stream}}" STREQUAL "<empty>")
      set(expected "")
    else()
      set(expected "${${stream}}\n")
    endif()
    if(stream STREQUAL "STDOUT")
      set(actual "${out}")
    else()
      set(actual "${err}")
    endif()
    if(NOT "${actual}" STREQUAL "${expected}")
      string(APPEND failures "${stream}: expected\n[${expected}]\ngot\n[${actual}]\n")
    endif()
  endif()
endforeach()

if(DEFINED STDOUT_HAS)
  string(REPLACE "|" ";" wanted "${STDOUT_HAS}")
  foreach(text IN LISTS wanted)
    string(FIND "${out}" "${text}" at)
    if(at EQUAL -1)
      string(APPEND failures "standard output lacks [${text}]\n")
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "${PROGRAM}\n${failures}--- standard output ---\n${out}--- standard error ---\n${err}")
endif()
message(STATUS "${PROGRAM}: exit ${result}, output as expected")
