# Round trips of the example job through the three commands: a dumped settings
# file and a saved private part run the job exactly as the example settings
# do, set/diff/validate tell the fields that change, the merge of a run reports
# what it corrected, and inspect decodes the example spool file.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

set(job ${EXAMPLES}/job.ps)
set(expected ${EXAMPLES}/expected-job.prn)
set(fixed --paper-list ${EXAMPLES}/QM22T.ini --date 2026-12-07)

# dump: every field, the example's own values marked.
qm22t("dump" EXIT 0 ARGS settings dump ${EXAMPLES}/settings.txt STDOUT_VAR dump)
file(WRITE ${WORK}/dump.txt "${dump}")
string(REGEX MATCHALL "\n\\*[^\n]*" marked "${dump}")
string(REPLACE ";" "" marked "${marked}")
expect_equal("dump: the lines marked as not default" "${marked}"
    "\n*ZTDuplex=2\n*CopyCount=3\n*ZTOutputBox=45\n*ZTStapleMode=10\n*ZTJobName=1\n*ZTJobNameInfo=Quarterly report")

# The dump runs the job as the example settings do.
qm22t("run from the dump" EXIT 0 ARGS run --settings ${WORK}/dump.txt ${fixed} ${job} --out ${WORK}/dump.prn)
expect_same_file("run from the dump" ${WORK}/dump.prn ${expected})

# The job's private part dumps to the same fields, and runs the same job.
qm22t("save the private part" EXIT 0
      ARGS run --settings ${EXAMPLES}/settings.txt ${fixed} ${job} --save-private-part ${WORK}/part.bin --out ${WORK}/x.prn)
file(SIZE ${WORK}/part.bin size)
expect_equal("saved private part: size" "${size}" "12016")
qm22t("dump the private part" EXIT 0 ARGS settings dump ${WORK}/part.bin STDOUT_VAR partDump)
string(REGEX REPLACE "^[^\n]*\n" "" partFields "${partDump}")
string(REGEX REPLACE "^[^\n]*\n" "" dumpFields "${dump}")
expect_equal("the private part's fields are the settings file's" "${partFields}" "${dumpFields}")
qm22t("run from the private part" EXIT 0 ARGS run --private-part ${WORK}/part.bin ${fixed} ${job} --out ${WORK}/part.prn)
expect_same_file("run from the private part" ${WORK}/part.prn ${expected})

# set, then run: one header line changes.
qm22t("set" EXIT 0 ARGS settings set ${WORK}/part.bin CopyCount=7 --out ${WORK}/part7.bin STDERR_EQUALS "")
qm22t("run with the set part" EXIT 0 ARGS run --private-part ${WORK}/part7.bin ${fixed} ${job} --out ${WORK}/seven.prn)
file_hex(sevenExpected ${expected})
string(HEX "\r\n@PJL SET QTY=" qty)
string(REPLACE "${qty}33" "${qty}37" sevenExpected "${sevenExpected}")
file_hex(seven ${WORK}/seven.prn)
expect_equal("run with the set part" "${seven}" "${sevenExpected}")

# diff: between parts, and between a part and a settings file of the same settings.
qm22t("diff" EXIT 1 ARGS settings diff ${WORK}/part.bin ${WORK}/part7.bin STDOUT_EQUALS "CopyCount: 3 -> 7\n")
qm22t("diff of equal settings" EXIT 0 ARGS settings diff ${WORK}/part.bin ${WORK}/dump.txt
      STDOUT_EQUALS "no difference\n")
qm22t("defaults against the example" EXIT 0 ARGS settings defaults --part --out ${WORK}/defaults.bin)
qm22t("diff from the defaults" EXIT 1 ARGS settings diff ${WORK}/defaults.bin ${EXAMPLES}/settings.txt
      STDOUT_EQUALS "ZTDuplex: 1 -> 2\nCopyCount: 1 -> 3\nZTOutputBox: 1 -> 45\nZTStapleMode: 0 -> 10\nZTJobName: 0 -> 1\nZTJobNameInfo: \"\" -> \"Quarterly report\"\n")

# A raw set keeps values the merge would not; validate, a merging set and a
# run all name them, and --raw runs the damaged block as it is.
qm22t("raw set" EXIT 0 ARGS settings set --raw ${WORK}/part.bin CopyCount=-5 ZTZoomRate=300 --out ${WORK}/bad.bin
      STDERR_EQUALS "")
qm22t("validate" EXIT 1 ARGS settings validate ${WORK}/bad.bin STDOUT_EQUALS "ZTZoomRate: 300 -> 200\nCopyCount: -5 -> 1\n")
qm22t("validate a sound part" EXIT 0 ARGS settings validate ${WORK}/part.bin STDOUT_EQUALS "nothing to change\n")
qm22t("merging set" EXIT 0 ARGS settings set ${WORK}/part.bin CopyCount=-5 --out ${WORK}/merged.bin
      STDERR_EQUALS "qm22t settings set: CopyCount: -5 -> 1\n")
qm22t("run merges" EXIT 0 ARGS run --private-part ${WORK}/bad.bin ${fixed} ${job} --out ${WORK}/merged.prn
      STDERR_MATCHES "^qm22t run: ZTZoomRate: 300 -> 200\nqm22t run: CopyCount: -5 -> 1\n")
expect_file_has("run merges" ${WORK}/merged.prn "\r\n@PJL SET QTY=1\r\n")
expect_file_has("run merges" ${WORK}/merged.prn "\r\n@PJL SET ZTZOOMRATE=200\r\n")
qm22t("raw run" EXIT 0 ARGS run --raw --private-part ${WORK}/bad.bin ${fixed} ${job} --out ${WORK}/raw.prn
      STDERR_EQUALS "qm22t run: 6819 bytes reached the spooler in 8 writes\n")
expect_file_has("raw run" ${WORK}/raw.prn "\r\n@PJL SET QTY=-5\r\n")
expect_file_has("raw run" ${WORK}/raw.prn "\r\n@PJL SET ZTZOOMRATE=300\r\n")

# dump --json of the set part.
qm22t("dump --json" EXIT 0 ARGS settings dump --json ${WORK}/part7.bin STDOUT_VAR json)
string(JSON kind GET "${json}" kind)
string(JSON signature GET "${json}" header dwSignature)
expect_equal("dump --json: kind and signature" "${kind} ${signature}" "private part 1297303124")
string(JSON count LENGTH "${json}" fields)
math(EXPR last "${count} - 1")
set(found "")
foreach(i RANGE ${last})
    string(JSON name GET "${json}" fields ${i} name)
    if(name STREQUAL "CopyCount")
        string(JSON value GET "${json}" fields ${i} value)
        string(JSON isDefault GET "${json}" fields ${i} isDefault)
        set(found "${value} ${isDefault}")
    endif()
endforeach()
expect_equal("dump --json: CopyCount" "${found}" "7 OFF")

# inspect: the example spool file decoded against its job, byte for byte.
qm22t("inspect" EXIT 0 STDIN ${expected} ARGS inspect --job ${job} - STDOUT_VAR inspection)
file(READ ${CMAKE_CURRENT_LIST_DIR}/example-spool-report.txt inspectionExpected)
expect_equal("inspect" "${inspection}" "${inspectionExpected}")
qm22t("inspect --json" EXIT 0 ARGS inspect --json --job ${job} ${expected} STDOUT_VAR json)
string(JSON copies GET "${json}" header lines 9 values 1 value)
string(JSON pages GET "${json}" postScript pages)
string(JSON origin GET "${json}" postScript sections 0 blocks 1 origin)
string(JSON jobValue GET "${json}" postScript sections 0 blocks 1 jobValue)
expect_equal("inspect --json" "${copies} ${pages} ${origin} ${jobValue}" "3 2 replaced OFF")
