# inspect fails on every kind of wrong spool file: one cut anywhere in its last
# page, a changed byte outside the setup sections (with the job), a header
# that disagrees with a feature block, a header line the table cannot make,
# and anything but the job-end sequence after %%EOF. Each case is the example
# spool file with one change.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

set(job ${EXAMPLES}/job.ps)
set(expected ${EXAMPLES}/expected-job.prn)
file(READ ${expected} spoolHex HEX)
string(LENGTH "${spoolHex}" spoolDigits)

# Writes the example spool file with the hexadecimal digits `from` replaced by
# `to` (both as text here, turned into digits).
function(variant name from to)
    string(HEX "${from}" fromHex)
    string(HEX "${to}" toHex)
    string(FIND "${spoolHex}" "${fromHex}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the example spool file has no '${from}'")
    endif()
    string(REPLACE "${fromHex}" "${toHex}" hex "${spoolHex}")
    write_hex(${WORK}/${name} "${hex}")
endfunction()
function(write_hex file hex)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
    # file(WRITE) cannot write a zero byte or arbitrary bytes from a variable;
    # printf can.
    execute_process(COMMAND printf "${escaped}" OUTPUT_FILE ${file} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot write ${file}")
    endif()
endfunction()

# The sound file passes every check, in a line each with --summary.
qm22t("summary" EXIT 0 ARGS inspect --summary --job ${job} ${expected} STDOUT_EQUALS
"spool file ${expected}: 130 header lines, 6818 bytes, 2 pages, 3 setup sections, 16 feature blocks
ok    the file begins with a PJL header
ok    every header line ends in CR LF
ok    the header switches to PostScript
ok    every @PJL SET line comes from the PJL table
ok    every header value is one the settings can hold
ok    no variable is set twice
ok    every line the settings always make is there
ok    every feature block agrees with the header
ok    the PostScript part begins with \"%!PS-\"
ok    document and page setup markers pair up: 1 document, 2 page setup sections
ok    the job ends: %%Trailer or %%EOF after the last page
ok    the file holds one job
ok    the PostScript outside the setup sections is the job's, byte for byte
ok    the page count is the job's: 2 here, 2 in the job
ok    the setup sections are the job's: 3 here, 3 in the job
ok    every feature block of the job is still there
16 checks: 16 passed, 0 failed
")
qm22t("--json and --summary" EXIT 2 ARGS inspect --json --summary ${expected}
      STDERR_MATCHES "inspect: --json and --summary exclude each other")

# Cut anywhere in the last page: from its %%Page: line to the end of %%EOF,
# every 23rd byte and the ends of the last lines.
string(HEX "%%Page: 2 2" lastPage)
string(FIND "${spoolHex}" "${lastPage}" lastPageAt)
math(EXPR lastPageAt "${lastPageAt} / 2")
math(EXPR spoolBytes "${spoolDigits} / 2")
math(EXPR lastCut "${spoolBytes} - 1")
set(cuts)
foreach(cut RANGE ${lastPageAt} ${lastCut} 23)
    list(APPEND cuts ${cut})
endforeach()
math(EXPR beforeTrailer "${spoolBytes} - 18")  # just before "%%Trailer\r\n%%EOF\r\n"
math(EXPR inTrailer "${spoolBytes} - 13")
math(EXPR inEof "${spoolBytes} - 4")
list(APPEND cuts ${beforeTrailer} ${inTrailer} ${inEof} ${lastCut})
foreach(cut IN LISTS cuts)
    math(EXPR digits "${cut} * 2")
    string(SUBSTRING "${spoolHex}" 0 ${digits} hex)
    write_hex(${WORK}/cut.prn "${hex}")
    qm22t("cut after ${cut} bytes" EXIT 1 ARGS inspect --summary ${WORK}/cut.prn
          STDOUT_MATCHES "\nFAIL  the job ends: %%Trailer or %%EOF after the last page: ")
endforeach()
math(EXPR trailerDigits "(${spoolBytes} - 7) * 2")
string(SUBSTRING "${spoolHex}" 0 ${trailerDigits} hex)
write_hex(${WORK}/trailer-only.prn "${hex}")
qm22t("ends after %%Trailer" EXIT 0 ARGS inspect --summary ${WORK}/trailer-only.prn)

# The job-end sequence may follow %%EOF, with or without a line end; nothing else may.
string(ASCII 27 escape)
write_hex(${WORK}/job-end.prn "${spoolHex}1b252d313233343558")
qm22t("job-end sequence" EXIT 0 ARGS inspect --summary ${WORK}/job-end.prn)
string(HEX "showpage\r\n" more)
write_hex(${WORK}/after-eof.prn "${spoolHex}${more}")
qm22t("PostScript after %%EOF" EXIT 1 ARGS inspect --summary ${WORK}/after-eof.prn
      STDOUT_MATCHES "\nFAIL  the job ends: %%Trailer or %%EOF after the last page: line 239 after %%EOF: \"showpage\", where only the job-end sequence may follow\n")

# One byte changed, a line dropped or added outside the setup sections: the
# job tells. Inside a page body, in the prolog, and in the trailer.
foreach(change
        "(Example page 2)|(Example page 3)|235|75"
        "72 720 moveto (Example page 1)|72 720 moveto (Example page 1 )|212|57"
        "%%Trailer\r\n|%%Trailer \r\n|237|77"
        "showpage\r\n%%Trailer|%%Trailer|236|76")
    string(REPLACE "|" ";" parts "${change}")
    list(GET parts 0 from)
    list(GET parts 1 to)
    list(GET parts 2 spoolLine)
    list(GET parts 3 jobLine)
    variant(changed.prn "${from}" "${to}")
    qm22t("changed: ${to}" EXIT 1 ARGS inspect --summary --job ${job} ${WORK}/changed.prn
          STDOUT_MATCHES "\nFAIL  the PostScript outside the setup sections is the job's, byte for byte: line ${spoolLine} \\(\"[^\n]*\"\\) is not the job's line ${jobLine} \\(")
    # Without the job nothing can tell.
    qm22t("changed, no job: ${to}" EXIT 0 ARGS inspect --summary ${WORK}/changed.prn)
endforeach()
variant(short.prn "%%Trailer\r\n%%EOF\r\n" "")
qm22t("spool file short of the job" EXIT 1 ARGS inspect --summary --job ${job} ${WORK}/short.prn
      STDOUT_MATCHES "byte for byte: the job goes on at its line 77 after the spool file's end\n")
variant(page-gone.prn "%%Page: 2 2\r\n" "%%Comment: 2 2\r\n")
qm22t("a page comment changed" EXIT 1 ARGS inspect --summary --job ${job} ${WORK}/page-gone.prn
      STDOUT_MATCHES "\nFAIL  the page count is the job's: 1 here, 2 in the job\n")

# The header against the feature blocks, both ways round for duplex, and the
# other settings both carry.
foreach(change
        "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n|@PJL SET DUPLEX=OFF\r\n|ZTDuplex LongEdge at line 145, but the header's ZTDuplex=1 makes OFF"
        "@PJL SET QTY=3|@PJL SET COPIES=3|ZTCollate True at line 151, but the header's ZTCollate=1 makes False"
        "@PJL SET ZTOUTPUTBOX=SHAREDBOX45|@PJL SET ZTOUTPUTBOX=SHAREDBOX46|ZTOutputBox SharedBox45 at line [0-9]+, but the header's ZTOutputBox=46 makes SharedBox46"
        "@PJL SET ZTBINDING=LEFTBINDING|@PJL SET ZTBINDING=TOPBINDING|ZTStapleMode 1Staple at line [0-9]+, but the header's ZTStapleMode=10 makes Off"
        "@PJL SET ZTPAGESIZEWIDTH=21000|@PJL SET ZTPAGESIZEWIDTH=21001|ZTPageSizeWidth 21000 at line [0-9]+, but the header's ZTPageSizeWidth=21001 makes 21001"
        "*ZTOrientation Portrait\r\n(Portrait)|*ZTOrientation Landscape\r\n(Landscape)|ZTOrientation Landscape at line 141, but the header's ZTOrientation=1 makes Portrait")
    string(REPLACE "|" ";" parts "${change}")
    list(GET parts 0 from)
    list(GET parts 1 to)
    list(GET parts 2 message)
    variant(disagreeing.prn "${from}" "${to}")
    qm22t("disagreeing: ${to}" EXIT 1 ARGS inspect --summary ${WORK}/disagreeing.prn
          STDOUT_MATCHES "\nFAIL  every feature block agrees with the header: ${message} \\((document|page) setup")
endforeach()
# The second page's orientation block follows its viewing orientation, not the header.
qm22t("landscape page" EXIT 0 ARGS inspect --summary ${expected}
      STDOUT_MATCHES "\nok    every feature block agrees with the header\n")

# Header lines no row of the table makes.
foreach(line "@PJL SET DUPLEX=SIDEWAYS" "@PJL SET ZTZOOMRATE=ABC" "@PJL SET ZTNOSUCHSETTING=1" "@PJL SET JOBNAME=51x5")
    variant(unknown.prn "@PJL SET ZTOUTPUTMETHOD=PRINT" "${line}")
    qm22t("header line: ${line}" EXIT 1 ARGS inspect --summary ${WORK}/unknown.prn
          STDOUT_MATCHES "\nFAIL  every @PJL SET line comes from the PJL table: 1 line flagged\n")
endforeach()

# A strict reading of the header: a value the settings cannot hold, a variable
# set twice, a line the settings always make left out, two jobs in one file.
cmake_policy(SET CMP0007 NEW)  # an empty replacement is an element too
foreach(change
        "@PJL SET QTY=3|@PJL SET QTY=0|every header value is one the settings can hold: line 10: CopyCount=0"
        "@PJL SET ZTJOG=OFF|@PJL SET ZTJOG=OFF\r\n@PJL SET QTY=5|no variable is set twice: QTY at line 67, first set at line 10"
        "@PJL SET ZTSTAPLEMODE=1STAPLE\r\n||every line the settings always make is there: missing: ZTSTAPLEMODE \\(ZTStapleMode\\)"
        "@PJL SET QTY=3\r\n||every line the settings always make is there: missing: COPIES or QTY \\(ZTCollate\\)"
        "@PJL SET ZTPJLVERSION=2.00\r\n||every line the settings always make is there: missing: ZTPJLVERSION\n")
    string(REPLACE "|" ";" parts "${change}")
    list(GET parts 0 from)
    list(GET parts 1 to)
    list(GET parts 2 message)
    variant(strict.prn "${from}" "${to}")
    qm22t("strict: ${to}" EXIT 1 ARGS inspect --summary ${WORK}/strict.prn STDOUT_MATCHES "\nFAIL  ${message}")
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${expected} ${expected} OUTPUT_FILE ${WORK}/two-jobs.prn)
qm22t("two jobs in one file" EXIT 1 ARGS inspect --summary ${WORK}/two-jobs.prn
      STDOUT_MATCHES "\nFAIL  the file holds one job: a second job begins at line 239 \\(its header switches to PostScript at line 368\\); split the file there and inspect each job alone\n")
qm22t("feature blocks by their comment line" EXIT 0 ARGS inspect --json ${expected} STDOUT_VAR json)
string(JSON line GET "${json}" postScript sections 0 blocks 1 line)
string(JSON keyword GET "${json}" postScript sections 0 blocks 1 keyword)
expect_equal("the line of a feature block" "${keyword} ${line}" "ZTDuplex 146")
