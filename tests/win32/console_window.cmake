# The three programs in a console window of their own under wine, each read
# back from the window's screen (console_readback.exe): the em dash of their
# texts must be shown as one. Wine gives a console a window only with a
# display, so this runs under a virtual X server (xvfb-run), in a wine prefix
# and server of its own: the other tests' wine session has no display.
#
#   cmake -DXVFB_RUN=... -DWINE=... -DWINESERVER=... -DPREFIX=... -DREADBACK=...exe
#         -DSTAGE=<devstack stage> -DSIM=...exe -DREPORT=...exe -DLOG=... -DCASE=...toml
#         -P console_window.cmake

cmake_minimum_required(VERSION 3.25)
foreach(required XVFB_RUN WINE WINESERVER PREFIX READBACK STAGE SIM REPORT LOG CASE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "console_window: ${required} not given")
  endif()
endforeach()

set(defines)
foreach(name XVFB_RUN WINE WINESERVER PREFIX READBACK STAGE SIM REPORT LOG CASE)
  list(APPEND defines "-D${name}=${${name}}")
endforeach()

if(NOT INNER)
  execute_process(
    COMMAND "${XVFB_RUN}" -a -s "-screen 0 1280x1024x24" "${CMAKE_COMMAND}" -DINNER=1 ${defines}
            -P "${CMAKE_CURRENT_LIST_FILE}"
    INPUT_FILE /dev/null
    RESULT_VARIABLE result
    TIMEOUT 580)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "console_window: ${result}")
  endif()
  return()
endif()

# Under the X server: DISPLAY is set. The rest of wine's environment is the
# tests' own.
set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEARCH} win64)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{WAYLAND_DISPLAY})

# A Unix path as wine's Z: drive names it.
function(windows_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${PREFIX}")
execute_process(COMMAND "${WINE}" wineboot -i
  INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE boot TIMEOUT 200)
if(NOT boot EQUAL 0)
  message(FATAL_ERROR "console_window: wineboot failed (${boot})")
endif()

windows_path(host "${STAGE}/devstack_host.exe")
windows_path(case "${CASE}")
windows_path(sim "${SIM}")
windows_path(report "${REPORT}")
windows_path(log "${LOG}")

# NAME | the text the window must show | the command line, ","-separated
# (console_readback's --after answers first, if any).
set(runs
  "rotabench.exe on the scripted device stack|hold STILL against the jig <dash> 2 s bias capture|${host},--console,${case},rotabench.exe"
  "rotabench-sim.exe --fast|hold STILL against the jig <dash> 2 s bias capture|${sim},--fast"
  "rotabench-report.exe on a log without Y and Z runs|Y: NO RUNS <dash> gate requires all axes|${report},${log}"
  # A rehearsal at the window's keyboard: its first question, answered q; the
  # window of its own then stays open until Enter, as rotabench.exe's does.
  "rotabench-sim.exe --rehearse answered at its keyboard|press Enter to close|--after,rotation angle in degrees for this run (90/180/360,q<enter>,--after,press Enter to close,<enter>,${sim},--rehearse")

set(failures "")
foreach(run IN LISTS runs)
  string(REPLACE "|" ";" fields "${run}")
  list(POP_FRONT fields name expected)
  string(REPLACE "," ";" command "${fields}")
  # rotabench.exe loads the device stack's replacement DLLs from its folder.
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;setupapi,hid,cfgmgr32=n")
  execute_process(COMMAND "${WINE}" "${READBACK}" "${expected}" ${command}
    INPUT_FILE /dev/null
    RESULT_VARIABLE result
    OUTPUT_VARIABLE shown
    ERROR_VARIABLE errors
    TIMEOUT 170)
  message(STATUS "${name}: ${result}\n${shown}")
  if(NOT result EQUAL 0)
    string(APPEND failures "${name}: the window does not show [${expected}] (${result})\n${errors}")
  endif()
endforeach()

execute_process(COMMAND "${WINESERVER}" -k INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
if(failures)
  message(FATAL_ERROR "console_window:\n${failures}")
endif()
