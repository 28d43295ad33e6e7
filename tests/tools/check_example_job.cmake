# Runs the example job with a fixed date and compares the spooled bytes with the
# expected file byte for byte.
execute_process(
    COMMAND ${RUNJOB} --plugin ${PLUGIN_DIR}
        --settings ${EXAMPLES}/settings.txt
        --paper-list ${EXAMPLES}/QM22T.ini
        --job ${EXAMPLES}/job.ps
        --date 2026-12-07
        --out ${OUT}
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "runjob failed (${result}): ${messages}")
endif()
file(SHA256 ${OUT} actual)
file(SHA256 ${EXAMPLES}/expected-job.prn expected)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${OUT} differs from ${EXAMPLES}/expected-job.prn")
endif()
