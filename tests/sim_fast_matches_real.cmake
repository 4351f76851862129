# rotabench-sim in virtual time (--fast) prints what it prints in real time,
# but for the figures that the host's scheduling decides in real time (how
# many samples fell in two real seconds, and what is computed from them):
# with every number and its sign masked, the same lines on both streams and
# the same exit.
#
#   cmake -DSIM=.../rotabench-sim -DSCENARIOS=a.toml|b.toml -P sim_fast_matches_real.cmake

cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" scenarios "${SCENARIOS}")
set(failures "")
foreach(scenario IN LISTS scenarios)
  foreach(mode real fast)
    set(flag)
    if(mode STREQUAL "fast")
      set(flag --fast)
    endif()
    execute_process(COMMAND "${SIM}" ${flag} "${scenario}" INPUT_FILE /dev/null
                    OUTPUT_VARIABLE ${mode}_out ERROR_VARIABLE ${mode}_err RESULT_VARIABLE ${mode}_code TIMEOUT 120)
    foreach(stream out err)
      # A figure's sign too: an error near zero may fall either side of it.
      string(REGEX REPLACE "[+-]?[0-9]+" "#" ${mode}_${stream} "${${mode}_${stream}}")
    endforeach()
  endforeach()
  foreach(part out err code)
    if(NOT "${real_${part}}" STREQUAL "${fast_${part}}")
      string(APPEND failures "${scenario}: ${part} differs\n--- real time ---\n${real_${part}}\n--- virtual time ---\n${fast_${part}}\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "virtual time matches real time for ${SCENARIOS}")
