# A job whose output cannot be written must fail with exit code 2, whether the
# bytes go to standard output or to --out.
if(NOT EXISTS /dev/full)
    message(STATUS "no /dev/full here; nothing to check")
    return()
endif()
execute_process(
    COMMAND ${RUNJOB} --plugin ${PLUGIN_DIR}
    OUTPUT_FILE /dev/full
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
if(NOT result EQUAL 2 OR NOT messages MATCHES "runjob: cannot write standard output")
    message(FATAL_ERROR "full standard output answered ${result}: ${messages}")
endif()
execute_process(
    COMMAND ${RUNJOB} --plugin ${PLUGIN_DIR} --out /dev/full
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
if(NOT result EQUAL 2 OR NOT messages MATCHES "runjob: cannot write /dev/full")
    message(FATAL_ERROR "full --out file answered ${result}: ${messages}")
endif()
