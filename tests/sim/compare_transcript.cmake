# Runs the simulated agent on an example notebook and compares its
# transcript with the one kept beside the scenario; on a difference the
# actual transcript is left in the build folder and a unified diff printed.
#   cmake -DSIM=tidewatch-sim -DSCENARIO=x.scenario -DEXPECTED=x.transcript -DACTUAL=out.transcript -P compare_transcript.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${SIM} ${SCENARIO}
                OUTPUT_FILE ${ACTUAL} ERROR_VARIABLE errors RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "tidewatch-sim ended with ${code}: ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${ACTUAL} RESULT_VARIABLE differs)
if(differs)
  execute_process(COMMAND diff -u ${EXPECTED} ${ACTUAL} OUTPUT_VARIABLE diff)
  message(FATAL_ERROR "the transcript differs from ${EXPECTED} (actual: ${ACTUAL}):\n${diff}")
endif()
