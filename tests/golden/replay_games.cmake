# Plays SIM's games with --replays into FOLDER, then replays each file and
# compares the lines with EXPECTED: a game written as a replay and played
# again is the same game.
file(REMOVE_RECURSE "${FOLDER}")
execute_process(COMMAND ${SIM} ${ARGS} --replays ${FOLDER}
                OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 900)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SIM} ${ARGS} ended with ${status}:\n${errors}")
endif()
file(STRINGS "${EXPECTED}" expected)
set(index 0)
set(differences "")
foreach(want IN LISTS expected)
  math(EXPR index "${index} + 1")
  execute_process(COMMAND ${SIM} replay ${FOLDER}/game-${index}.vxr
                  OUTPUT_VARIABLE got ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
  string(STRIP "${got}" got)
  if(NOT status EQUAL 0 OR NOT got STREQUAL want)
    string(APPEND differences "  expected ${want}\n  got      ${got} ${errors}\n")
  endif()
endforeach()
file(REMOVE_RECURSE "${FOLDER}")
if(differences)
  message(FATAL_ERROR "the replays differ from ${EXPECTED}:\n${differences}")
endif()
message(STATUS "${index} replays as expected")
