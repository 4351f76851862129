# Starts (ACTION=start) or ends (ACTION=stop) the wine session the tests of
# the cross build run in:
#
#   cmake -DACTION=start|stop -DWINE=... -DWINESERVER=... -DWINEPREFIX=... -DLOG=... -P wine_session.cmake
#
# The wine server and wine's own service processes are started here, with
# their output going to LOG: started by the first test program instead, they
# would hold that test's output pipe open, and ctest would wait for them
# until the last wine process of the whole run ended. The server lingers at
# most a minute after its last program, should the stop never come.

cmake_minimum_required(VERSION 3.25)

foreach(required ACTION WINE WINESERVER WINEPREFIX LOG)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "wine_session: ${required} not given")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/wine_env.cmake)

if(ACTION STREQUAL "start")
  file(MAKE_DIRECTORY "${WINEPREFIX}")
  execute_process(COMMAND "${WINESERVER}" -p60
    INPUT_FILE /dev/null OUTPUT_FILE "${LOG}" ERROR_FILE "${LOG}"
    RESULT_VARIABLE server_result TIMEOUT 60)
  # Makes the prefix on the first run (about ten seconds) and starts the services.
  execute_process(COMMAND "${WINE}" wineboot -i
    INPUT_FILE /dev/null OUTPUT_FILE "${LOG}.boot" ERROR_FILE "${LOG}.boot"
    RESULT_VARIABLE boot_result TIMEOUT 170)
  if(NOT boot_result EQUAL 0)
    file(READ "${LOG}.boot" boot_log)
    message(FATAL_ERROR "wineboot failed (${boot_result}), server ${server_result}:\n${boot_log}")
  endif()
  message(STATUS "wine session ready in ${WINEPREFIX}")
elseif(ACTION STREQUAL "stop")
  execute_process(COMMAND "${WINESERVER}" -k
    INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
  message(STATUS "wine session ended")
else()
  message(FATAL_ERROR "wine_session: ACTION is start or stop, not '${ACTION}'")
endif()
