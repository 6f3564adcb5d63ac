# Plays SIM's games with --replays into FOLDER, then checks each file with the
# web edition's module under Node against EXPECTED and the native check.
file(REMOVE_RECURSE "${FOLDER}")
execute_process(COMMAND ${SIM} ${ARGS} --replays ${FOLDER}
                OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 900)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SIM} ${ARGS} ended with ${status}:\n${errors}")
endif()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "no web edition at ${MODULE}: make web builds it")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs
                        ${NODE} --no-experimental-fetch ${SCRIPT} ${MODULE} ${SIM} ${EXPECTED} ${FOLDER}
                RESULT_VARIABLE status TIMEOUT 900)
file(REMOVE_RECURSE "${FOLDER}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the web edition's replay check differs (status ${status})")
endif()
