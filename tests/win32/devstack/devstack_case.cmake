# Runs one program under the scripted device stack's host, under wine, and
# checks its exit code and, when EXPECTED is given, its output against
# EXPECTED.out and EXPECTED.err. Without EXPECTED, standard error must carry
# no "devstack:" line (no misused call, nothing left open).
#
#   cmake -DWINE=... -DWINEPREFIX=... -DHOST=.../devstack_host.exe -DSCENARIO=case.toml
#         -DPROGRAM=rotabench.exe -DEXIT_CODE=n [-DEXPECTED=cases/name] -P devstack_case.cmake
#
# Line endings are normalised. The sample counts of a bias capture or a run,
# "(N samples", depend on how the host's scheduler paced real seconds and are
# masked as "(# samples"; every other figure is exact (noiseless modules, and
# turns started on a tick of the module's sample clock).

cmake_minimum_required(VERSION 3.25)
foreach(required WINE WINEPREFIX HOST SCENARIO PROGRAM EXIT_CODE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "devstack_case: ${required} not given")
  endif()
endforeach()

set(WINE_DLL_OVERRIDES "setupapi,hid,cfgmgr32=n")
include(${CMAKE_CURRENT_LIST_DIR}/../wine_env.cmake)

execute_process(
  COMMAND "${WINE}" "${HOST}" "${SCENARIO}" "${PROGRAM}"
  INPUT_FILE /dev/null
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 170)

foreach(stream out err)
  string(REPLACE "\r\n" "\n" ${stream} "${${stream}}")
  string(REGEX REPLACE "\\(([0-9]+) samples" "(# samples" ${stream} "${${stream}}")
endforeach()

set(failures "")
if(NOT "${result}" STREQUAL "${EXIT_CODE}")
  string(APPEND failures "exit code: expected ${EXIT_CODE}, got '${result}'\n")
endif()
if(DEFINED EXPECTED)
  foreach(stream out err)
    file(READ "${EXPECTED}.${stream}" expected)
    string(REPLACE "\r\n" "\n" expected "${expected}")
    if(NOT "${${stream}}" STREQUAL "${expected}")
      string(APPEND failures "what the program printed differs from ${EXPECTED}.${stream}\n")
    endif()
  endforeach()
elseif(err MATCHES "devstack:")
  string(APPEND failures "the device stack reported a fault\n")
endif()

if(failures)
  message(FATAL_ERROR "${PROGRAM} on ${SCENARIO}\n${failures}--- standard output ---\n${out}--- standard error ---\n${err}")
endif()
message(STATUS "${PROGRAM} on ${SCENARIO}: exit ${result}, output as expected")
