cmake_minimum_required(VERSION 3.25)
# Fails when a file of src/ includes a header of a layer above its own, of a
# layer beside it, or of a platform backend it may not use; and when a file
# above src/platform reads a clock, sleeps or starts a thread by itself
# instead of through platform/clock.h. Run by the build
# (cmake -DSRC=<src folder> [-DSTAMP=<file to touch>] -P check_layers.cmake).
#
# The layers, lowest first; a file may include its own layer's headers and
# those of any layer below. text, the text helpers, is below everything.
# calibration, the pure math of runs, stands beside the platform: it may use
# the text helpers and nothing else, and the platform knows nothing of
# calibration. simulator and report stand side by side; the
# swarm, above both, judges the one's sessions with the other's reader.
set(layer_rank_text 0)
set(layer_rank_platform 1)
set(layer_rank_calibration 1)
set(layer_rank_discovery 2)
set(layer_rank_imu 3)
set(layer_rank_console 4)
set(layer_rank_simulator 5)
set(layer_rank_report 5)
set(layer_rank_swarm 6)
set(layer_rank_app 7)
# A platform backend's headers are for the backend itself, and for the
# layers named here: the simulated bus is the simulator's (and the swarm's, for its
# deadlock hook).
set(backend_users_sim simulator swarm)
set(backend_users_linux)
set(backend_users_win32)

# Headers of the systems themselves, which only the platform layer includes.
set(system_headers "[Ww]indows\\.h|winioctl|setupapi|hidsdi|hidpi|cfgmgr32|devpkey|unistd\\.h|fcntl\\.h|poll\\.h|termios\\.h|sys/|linux/")

# Time and threads of the standard library, which only the platform layer
# names: the clocks, std::this_thread (its sleeps) and the thread classes. A
# word of the code, not of a comment or a text; a name of ours such as
# Clock::sleep_until stays free.
set(time_words "std::thread|std::jthread|this_thread|steady_clock|system_clock|high_resolution_clock")

file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp ${SRC}/*.in)
set(faults "")
set(time_faults "")
foreach(file IN LISTS sources)
  string(REGEX MATCH "^[^/]+" layer "${file}")
  if(NOT DEFINED layer_rank_${layer})
    continue()
  endif()
  set(backend "")
  if(file MATCHES "^platform/([^/]+)/")
    set(backend ${CMAKE_MATCH_1})
  endif()
  if(NOT layer STREQUAL "platform")
    file(STRINGS ${SRC}/${file} system_includes REGEX "^[ \t]*#[ \t]*include[ \t]*<(${system_headers})")
    foreach(line IN LISTS system_includes)
      list(APPEND faults "src/${file}: ${line}: a system header of Windows or Linux, which only src/platform includes")
    endforeach()
    file(STRINGS ${SRC}/${file} time_lines REGEX "${time_words}")
    foreach(line IN LISTS time_lines)
      string(REGEX REPLACE "//.*$" "" code "${line}")
      string(REGEX REPLACE "\"([^\"\\\\]|\\\\.)*\"" "\"\"" code "${code}")
      string(REGEX MATCH "(^|[^A-Za-z0-9_])(${time_words})([^A-Za-z0-9_]|$)" hit "${code}")
      if(hit)
        set(word "${CMAKE_MATCH_2}")
        string(STRIP "${code}" shown)
        string(REPLACE ";" "" shown "${shown}")
        list(APPEND time_faults "src/${file}: ${word} in `${shown}`, which only src/platform names")
      endif()
    endforeach()
  endif()
  file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" target "${line}")
    string(REGEX MATCH "^[^/]+" to "${target}")
    if(NOT DEFINED layer_rank_${to})
      continue()  # a system header or one beside the file
    endif()
    if(NOT to STREQUAL layer AND NOT layer_rank_${to} LESS layer_rank_${layer})
      list(APPEND faults "src/${file}: includes \"${target}\" from the ${to} layer, which is not below ${layer}")
    elseif(target MATCHES "^platform/([^/]+)/")
      set(to_backend ${CMAKE_MATCH_1})
      if(NOT to_backend STREQUAL backend AND NOT layer IN_LIST backend_users_${to_backend})
        list(APPEND faults "src/${file}: includes \"${target}\", a header of the ${to_backend} backend")
      endif()
    endif()
  endforeach()
endforeach()

if(faults OR time_faults)
  set(text "")
  if(faults)
    list(JOIN faults "\n  " lines)
    string(APPEND text "includes that cross the layers (text < platform, calibration < discovery < imu < console < simulator, report < swarm < app):\n  ${lines}\n")
  endif()
  if(time_faults)
    list(JOIN time_faults "\n  " lines)
    string(APPEND text "time and threads above src/platform, which take them from its clock (platform/clock.h):\n  ${lines}\n")
  endif()
  message(FATAL_ERROR "${text}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
