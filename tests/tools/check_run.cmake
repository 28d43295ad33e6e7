# qm22t run end to end: the example job from a file and from standard input in
# small writes gives exactly examples/expected-job.prn; the trace accounts for
# every byte; a spooler that takes little or fails part-way, and outputs that
# cannot be written, behave as documented.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

set(job ${EXAMPLES}/job.ps)
set(expected ${EXAMPLES}/expected-job.prn)
set(example --settings ${EXAMPLES}/settings.txt --paper-list ${EXAMPLES}/QM22T.ini --date 2026-12-07)

qm22t("file to file" EXIT 0 ARGS run ${example} ${job} --out ${WORK}/file.prn
      STDERR_EQUALS "qm22t run: 6818 bytes reached the spooler in 8 writes\n")
expect_same_file("file to file" ${WORK}/file.prn ${expected})

qm22t("file to standard output" EXIT 0 STDOUT_FILE ${WORK}/stdout.prn ARGS run ${example} --job ${job})
expect_same_file("file to standard output" ${WORK}/stdout.prn ${expected})

# Seven bytes a write: no line and no marker arrives in one piece.
qm22t("standard input" EXIT 0 STDIN ${job}
      ARGS run ${example} - --write-size 7 --trace ${WORK}/trace.txt --out ${WORK}/stdin.prn)
expect_same_file("standard input" ${WORK}/stdin.prn ${expected})
file(STRINGS ${WORK}/trace.txt trace)
list(POP_FRONT trace title header)
expect_equal("trace title" "${title}" "# offset offered taken writer")
expect_equal("trace of the header" "${header}" "0 3935 3935 header")
set(offset 3935)
foreach(line IN LISTS trace)
    if(NOT line MATCHES "^([0-9]+) ([0-9]+) ([0-9]+) filter$" OR NOT CMAKE_MATCH_1 EQUAL offset)
        message(SEND_ERROR "trace line '${line}' is not the filter's write at offset ${offset}")
        break()
    endif()
    math(EXPR offset "${offset} + ${CMAKE_MATCH_3}")
endforeach()
expect_equal("bytes the trace accounts for" "${offset}" "6818")

# A spooler that takes 100 bytes a call: the filter writes the rest of each
# short write again, so the PostScript part arrives whole.
qm22t("spooler takes 100 bytes a call" EXIT 0 ARGS run ${example} ${job} --spooler-accept 100
      --trace ${WORK}/short-trace.txt --out ${WORK}/short.prn)
file(STRINGS ${WORK}/short-trace.txt trace REGEX "^[0-9]")
foreach(line IN LISTS trace)
    string(REPLACE " " ";" fields "${line}")
    list(GET fields 2 taken)
    if(taken GREATER 100)
        message(SEND_ERROR "the spooler took ${taken} bytes in one call: ${line}")
    endif()
endforeach()
file_hex(postscript ${expected} 3935)
file_hex(short ${WORK}/short.prn)
string(LENGTH "${postscript}" digits)
string(LENGTH "${short}" shortDigits)
math(EXPR from "${shortDigits} - ${digits}")
if(from LESS 0)
    message(SEND_ERROR "short writes: only ${shortDigits} hexadecimal digits reached the spooler")
else()
    string(SUBSTRING "${short}" ${from} -1 tail)
    expect_equal("short writes: the PostScript part" "${tail}" "${postscript}")
endif()

# A spooler that fails after 5000 bytes: exactly the first 5000 bytes, exit 3.
qm22t("spooler fails" EXIT 3 ARGS run ${example} ${job} --spooler-fail-after 5000 --out ${WORK}/failed.prn
      STDERR_MATCHES "run: the spooler failed a write after 5000 bytes \\(--spooler-fail-after\\)")
file(READ ${expected} first5000 LIMIT 5000 HEX)
file_hex(failed ${WORK}/failed.prn)
expect_equal("spooler fails: what reached it" "${failed}" "${first5000}")

# A full disk must not pass for a finished job, whether the bytes go to
# standard output or to --out.
if(EXISTS /dev/full)
    qm22t("full standard output" EXIT 2 STDOUT_FILE /dev/full ARGS run ${job}
          STDERR_MATCHES "run: cannot write standard output: No space left on device")
    qm22t("full --out" EXIT 2 ARGS run ${job} --out /dev/full
          STDERR_MATCHES "run: cannot write /dev/full: No space left on device")
endif()
