# Every failure is told and nothing is clobbered: each case runs the program,
# checks its exit code and message, and that the files it was pointed at still
# hold what they held before. Then the names of settings values, which --set
# takes and `settings fields` lists.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

set(job ${EXAMPLES}/job.ps)
set(settings ${EXAMPLES}/settings.txt)
set(fixed --paper-list ${EXAMPLES}/QM22T.ini --date 2026-12-07)
set(kept ${WORK}/kept.prn)
set(keptTrace ${WORK}/kept-trace.txt)
set(keptPart ${WORK}/kept-part.bin)
file(COPY ${job} DESTINATION ${WORK})
set(ownJob ${WORK}/job.ps)

# Every file a case may point at, refilled before each case.
function(refill)
    file(WRITE ${kept} "an earlier spool file\n")
    file(WRITE ${keptTrace} "an earlier trace\n")
    file(WRITE ${keptPart} "an earlier private part\n")
endfunction()
function(expect_kept label)
    foreach(file kept.prn kept-trace.txt kept-part.bin)
        file(READ ${WORK}/${file} now)
        if(NOT now MATCHES "^an earlier ")
            message(SEND_ERROR "${label}: ${file} changed")
        endif()
    endforeach()
    file(READ ${ownJob} jobNow HEX)
    file(READ ${job} jobThen HEX)
    if(NOT jobNow STREQUAL jobThen)
        message(SEND_ERROR "${label}: the job file changed")
    endif()
    file(GLOB leftovers ${WORK}/.*qm22t-*)
    if(leftovers)
        message(SEND_ERROR "${label}: temporary files left: ${leftovers}")
        file(REMOVE ${leftovers})
    endif()
endfunction()

# refused(<label> <exit> <stderr regex> <arguments>...): the case fails with
# that message and leaves every file as it was.
function(refused label code regex)
    refill()
    qm22t("${label}" EXIT ${code} ARGS ${ARGN} STDERR_MATCHES "${regex}")
    expect_kept("${label}")
endfunction()

# Every option of every command with a missing, empty, malformed or conflicting
# value, in one table. The outputs point at files that must survive.
set(out --out ${kept})
refused("run --out missing" 2 "run: --out needs a value" run ${job} --out)
refused("run --out empty" 2 "run: --out wants a file name, not an empty text" run ${job} --out=)
refused("run --out twice" 2 "run: --out is given twice" run ${job} ${out} --out ${WORK}/other.prn)
refused("run --job twice" 2 "run: --job is given twice" run --job ${job} --job ${job} ${out})
refused("run two jobs" 2 "run: give one job only" run ${job} ${job} ${out})
refused("run --job empty" 2 "run: --job wants a file name" run --job= ${out})
refused("run --private-part empty" 2 "--private-part wants a file name" run ${job} --private-part= ${out})
refused("run --private-part missing file" 2 "cannot read [^\n]*nowhere.bin" run ${job} --private-part ${WORK}/nowhere.bin ${out})
refused("run --settings empty" 2 "--settings wants a file name" run ${job} --settings= ${out})
refused("run --settings missing" 2 "run: --settings needs a value" run ${job} ${out} --settings)
refused("run --set malformed" 2 "--set CopyCount: \"CopyCount\" is not Field=value" run ${job} --set CopyCount ${out})
refused("run --set empty value" 2 "\"\" is not a number; CopyCount is a number" run ${job} --set CopyCount= ${out})
refused("run --set unknown name" 2 "\"Sideways\" is not a number or a name; ZTDuplex is a number or one of OFF, LongEdge, ShortEdge\n"
        run ${job} --set ZTDuplex=Sideways ${out})
refused("run --save-private-part to standard output" 2 "--save-private-part wants a file: a private part is binary"
        run ${job} --save-private-part - ${out})
refused("run --document twice" 2 "--document is given twice" run ${job} --document a --document b ${out})
refused("run --user missing" 2 "--user needs a value" run ${job} ${out} --user)
refused("run --date malformed" 2 "--date wants a calendar date YYYY-MM-DD from 1601-01-01 on, not \"7 Dec 2026\""
        run ${job} --date "7 Dec 2026" ${out})
refused("run --date 30 February" 2 "not \"2026-02-30\"" run ${job} --date 2026-02-30 ${out})
refused("run --date 29 February of a common year" 2 "not \"2100-02-29\"" run ${job} --date 2100-02-29 ${out})
refused("run --date month 13" 2 "not \"2026-13-01\"" run ${job} --date 2026-13-01 ${out})
refused("run --date before 1601" 2 "not \"1600-12-31\"" run ${job} --date 1600-12-31 ${out})
refused("run --date empty" 2 "not \"\"" run ${job} --date= ${out})
refused("run --paper-list missing file" 2 "no paper-list file at [^\n]*nowhere.ini" run ${job} --paper-list ${WORK}/nowhere.ini ${out})
refused("run --plugin empty" 2 "--plugin wants a file name" run ${job} --plugin= ${out})
refused("run --write-size malformed" 2 "--write-size wants a count of bytes from 1 to 67108864, not \"4X\"" run ${job} --write-size 4X ${out})
refused("run --write-size too large" 2 "not \"65M\"" run ${job} --write-size 65M ${out})
refused("run --spooler-accept 0" 2 "--spooler-accept wants a count of bytes from 1 to 4294967295, not \"0\"" run ${job} --spooler-accept 0 ${out})
refused("run --spooler-accept negative" 2 "not \"-1\"" run ${job} --spooler-accept -1 ${out})
refused("run --spooler-fail-after empty" 2 "--spooler-fail-after wants a count of bytes from 0 to" run ${job} --spooler-fail-after= ${out})
refused("run --trace empty" 2 "--trace wants a file name" run ${job} --trace= ${out})
refused("run --trace in a missing folder" 2 "run: the trace: cannot write [^\n]*/nowhere/trace.txt: No such file or directory"
        run ${job} --trace ${WORK}/nowhere/trace.txt ${out})
refused("run --out in a missing folder" 2 "run: cannot write [^\n]*/nowhere/job.prn: No such file or directory"
        run ${job} --out ${WORK}/nowhere/job.prn --trace ${keptTrace})
refused("run --out a folder" 2 "cannot write [^\n]*: it is a folder" run ${job} --out ${WORK})
refused("run unknown option" 2 "run: unknown option --copies" run ${job} --copies 2 ${out})
# The same file in two places, by path or through another name of it.
refused("run --out is the job" 2 "run: --out [^\n]*job.ps and the job [^\n]*job.ps are the same file; the output would overwrite its input"
        run ${ownJob} --out ${ownJob})
refused("run --out is the job by another path" 2 "are the same file" run ${ownJob} --out ${WORK}/../failures/job.ps)
refused("run --trace is the job" 2 "--trace [^\n]*job.ps and the job [^\n]*job.ps are the same file" run ${ownJob} --trace ${ownJob} ${out})
refused("run --out is --trace" 2 "--out [^\n]*kept.prn and --trace [^\n]*kept.prn are the same file; two outputs would overwrite each other"
        run ${job} ${out} --trace ${kept})
refused("run --save-private-part is --settings" 2 "--save-private-part [^\n]*kept-part.bin and --settings [^\n]*kept-part.bin are the same file"
        run ${job} --settings ${keptPart} --save-private-part ${keptPart} ${out})
refused("run standard input twice" 2 "standard input is named twice \\(the job and --settings\\)" run - --settings - ${out})
# (The redirection empties the file before the program starts; the program
# still must not read what it writes.)
file(COPY ${job} DESTINATION ${WORK}/both)
qm22t("run to standard output that is the job" EXIT 2 STDIN ${WORK}/both/job.ps STDOUT_FILE ${WORK}/both/job.ps ARGS run -
      STDERR_MATCHES "--out \\(standard output\\) and the job \\(standard input\\) are the same file")

refused("settings dump --out" 2 "settings dump: --out is no option of settings dump" settings dump ${settings} --out ${kept})
refused("settings dump --part" 2 "--part is no option of settings dump" settings dump --part ${settings})
refused("settings validate --raw" 2 "--raw is no option of settings validate" settings validate --raw ${settings})
refused("settings diff --out" 2 "--out is no option of settings diff" settings diff ${settings} ${settings} --out ${kept})
refused("settings defaults --raw" 2 "--raw is no option of settings defaults" settings defaults --raw ${out})
refused("settings fields --out" 2 "--out is no option of settings fields" settings fields ${out})
refused("settings fields with a source" 2 "fields takes 0 sources" settings fields ${settings})
refused("settings dump of two" 2 "dump takes 1 source \\(" settings dump ${settings} ${settings})
refused("settings set --out empty" 2 "--out wants a file name" settings set ${settings} CopyCount=2 --out=)
refused("settings set --out is its source" 2 "--out [^\n]*kept-part.bin and the source [^\n]*kept-part.bin are the same file"
        settings set ${keptPart} CopyCount=2 --out ${keptPart})
refused("settings set with a bad value" 2 "CopyCount=x: \"x\" is not a number" settings set ${settings} CopyCount=x ${out})
refused("settings unknown action" 2 "unknown action \"show\"" settings show ${settings})
refused("run --plugin missing" 2 "run: --plugin needs a value" run ${job} ${out} --plugin)
refused("run --spooler-fail-after malformed" 2 "--spooler-fail-after wants a count of bytes from 0 to [0-9]+, not \"5000x\"" run ${job} --spooler-fail-after 5000x ${out})
refused("run --write-size twice" 2 "--write-size is given twice" run ${job} --write-size 1 --write-size=2 ${out})
refused("run --no-private-part with --raw" 2 "--no-private-part runs the job without device settings" run ${job} --no-private-part --raw ${out})
refused("settings --plugin missing" 2 "settings: --plugin needs a value" settings dump ${settings} --plugin)
refused("settings --plugin not a folder" 2 "settings dump: --plugin [^\n]*nowhere is not a folder; give the folder of QM22TRD.dll and QM22TIE.dll\n"
        settings dump ${settings} --plugin ${WORK}/nowhere)
refused("settings --plugin empty" 2 "settings dump: --plugin wants a file name, not an empty text" settings dump ${settings} --plugin=)
refused("settings --out twice" 2 "--out and --plugin take one value each" settings defaults ${out} --out ${WORK}/other.txt)
refused("settings set without a value" 2 "set needs at least one Field=value" settings set ${settings} ${out})
refused("inspect --job missing" 2 "inspect: --job needs a value" inspect ${kept} --job)
refused("inspect --job empty" 2 "inspect: --job wants a file name" inspect ${kept} --job=)
refused("inspect --job twice" 2 "inspect: --job is given twice" inspect ${kept} --job ${job} --job ${job})
refused("inspect two spool files" 2 "inspect: give one spool file" inspect ${kept} ${kept})
refused("inspect unknown option" 2 "inspect: unknown option --out" inspect ${kept} --out x)
refused("inspect a missing spool file" 2 "inspect: cannot read the spool file [^\n]*nowhere.prn: No such file" inspect ${WORK}/nowhere.prn)
refused("inspect a missing --job" 2 "inspect: cannot read the --job file [^\n]*nowhere.ps: No such file" inspect ${kept} --job ${WORK}/nowhere.ps)

# Sources no command can use.
file(WRITE ${WORK}/empty.bin "")
refused("empty private part" 2 "run: [^\n]*empty.bin is empty: it is neither a private part nor a settings file"
        run ${job} --private-part ${WORK}/empty.bin ${out})
refused("empty source" 2 "settings dump: [^\n]*empty.bin is empty" settings dump ${WORK}/empty.bin)
qm22t("a private part to lengthen" EXIT 0 ARGS settings defaults --part --out ${WORK}/part.bin)
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${WORK}/part.bin ${EXAMPLES}/settings.txt OUTPUT_FILE ${WORK}/long.bin)
refused("over-long private part" 2 "long.bin has 12309 bytes, more than a private part's 12016, behind the plug-in's signature; give the private part alone"
        run ${job} --private-part ${WORK}/long.bin ${out})
refused("over-long source" 2 "long.bin has 12309 bytes, more than a private part's 12016, behind the plug-in's signature"
        settings dump ${WORK}/long.bin)
execute_process(COMMAND printf "ZTDuplex=2\\000\\nCopyCount=3\\n" OUTPUT_FILE ${WORK}/zero.txt)
refused("a zero byte in a value" 2 "zero.txt: line 1: a zero byte at column 11; no value holds one"
        run ${job} --settings ${WORK}/zero.txt ${out})
execute_process(COMMAND printf "Z\\000T\\000D\\000u\\000p\\000l\\000e\\000x\\000=\\0002\\000" OUTPUT_FILE ${WORK}/utf16-bare.txt)
refused("UTF-16 without its mark" 2 "utf16-bare.txt: the file holds zero bytes: UTF-16 text needs its byte-order mark"
        settings dump ${WORK}/utf16-bare.txt)

# A field twice in one file, a folder where a file belongs, binary data as the paper list.
file(WRITE ${WORK}/twice.txt "CopyCount=2\n# a comment\n*CopyCount=3\n")
refused("run, a field twice in a settings file" 2
        "run: [^\n]*twice.txt: line 3: CopyCount is set again \\(first at line 1\\); a settings file sets each field once: remove one of them\n"
        run ${job} --settings ${WORK}/twice.txt ${out})
refused("settings dump, a field twice" 2 "settings dump: [^\n]*twice.txt: line 3: CopyCount is set again" settings dump ${WORK}/twice.txt)
refused("run --paper-list a folder" 2 "run: cannot read the --paper-list file [^\n]*: it is a folder; give a file \\(the plug-in's QM22T.ini\\)\n"
        run ${job} --paper-list ${WORK} ${out})
refused("run --settings a folder" 2 "run: cannot read the --settings file [^\n]*: it is a folder" run ${job} --settings ${WORK} ${out})
refused("settings dump a folder" 2 "settings dump: cannot read the source file [^\n]*: it is a folder" settings dump ${WORK})
execute_process(COMMAND printf "\\377\\376P\\000\\001\\000\\000\\330A\\000" OUTPUT_FILE ${WORK}/binary.ini)
execute_process(COMMAND printf "\\007\\023\\350\\000\\201\\017\\000\\012\\300\\276" OUTPUT_FILE ${WORK}/noise.ini)
qm22t("run --paper-list, control unit in UTF-16" EXIT 0 ARGS run ${job} --paper-list ${WORK}/binary.ini --out ${WORK}/paper.prn
      STDERR_MATCHES "run: warning: the paper-list file [^\n]*binary.ini is not UTF-16 little-endian text: it holds binary data, not text \\(the unit 0x0001 at byte 4\\); the plug-in finds no paper entries in it")
qm22t("run --paper-list, random bytes" EXIT 0 ARGS run ${job} --paper-list ${WORK}/noise.ini --out ${WORK}/paper.prn
      STDERR_MATCHES "noise.ini is not UTF-16 little-endian text: it holds binary data, not text \\(5 control bytes in its first 512\\)")

# Settings text in UTF-16, as Windows tools write it, both byte orders.
execute_process(COMMAND printf "\\377\\376#\\000 \\000A\\000\\n\\000Z\\000T\\000J\\000o\\000b\\000N\\000a\\000m\\000e\\000I\\000n\\000f\\000o\\000=\\000\\374\\000b\\000e\\000r\\000\\r\\000\\n\\000"
                OUTPUT_FILE ${WORK}/utf16le.txt)
execute_process(COMMAND printf "\\376\\377\\000Z\\000T\\000D\\000u\\000p\\000l\\000e\\000x\\000=\\0003\\000\\n"
                OUTPUT_FILE ${WORK}/utf16be.txt)
qm22t("UTF-16 little-endian settings" EXIT 0 ARGS settings dump ${WORK}/utf16le.txt STDOUT_VAR dump)
string(REGEX MATCHALL "\n\\*[^\n]*" marked "${dump}")
string(REPLACE ";" "" marked "${marked}")
expect_equal("UTF-16 little-endian: the fields set" "${marked}" "\n*ZTJobNameInfo=über")
qm22t("UTF-16 big-endian settings" EXIT 0 ARGS settings dump ${WORK}/utf16be.txt STDOUT_VAR dump)
string(REGEX MATCHALL "\n\\*[^\n]*" marked "${dump}")
string(REPLACE ";" "" marked "${marked}")
expect_equal("UTF-16 big-endian: the fields set" "${marked}" "\n*ZTDuplex=3")

# Messages show non-ASCII text as it is, and count in words.
refused("non-ASCII in a message" 2 "run: --set Füllung=1: unknown field \"Füllung\"" run ${job} --set Füllung=1 ${out})
file(WRITE ${WORK}/empty.ps "")
qm22t("one write" EXIT 0 ARGS run ${WORK}/empty.ps ${fixed} --out ${WORK}/empty.prn
      STDERR_MATCHES "run: warning: the job [^\n]*empty.ps is empty\nqm22t run: 3895 bytes reached the spooler in 1 write\n$")

# A write error on standard output is an error of every command.
if(EXISTS /dev/full)
    foreach(case "--help" "--version" "run --help" "settings --help" "inspect --help" "settings fields"
                 "settings defaults" "settings dump ${settings}" "settings validate ${settings}"
                 "settings diff ${settings} ${settings}" "inspect ${EXAMPLES}/expected-job.prn")
        separate_arguments(arguments UNIX_COMMAND "${case}")
        qm22t("${case} to a full disk" EXIT 2 STDOUT_FILE /dev/full ARGS ${arguments}
              STDERR_MATCHES "cannot write standard output: No space left on device\n$")
    endforeach()
endif()

# A job that fails part-way leaves the earlier outputs as they were.
refill()
qm22t("plug-in module missing" EXIT 2 ARGS run ${job} --plugin ${WORK} ${out} --trace ${keptTrace}
      --save-private-part ${keptPart} STDERR_MATCHES "no plug-in module at")
expect_kept("plug-in module missing")
refill()
qm22t("settings without the identification" EXIT 1 ARGS run ${job} --raw --set Identification=WRONG ${out} --trace ${keptTrace}
      STDERR_MATCHES "run: Command\\(begin stream\\) answered 0x80004005 with result 160; the plug-in wrote no job header and gives the job up: its settings block must begin with the identification \"VTA/NP\", and this one holds \"WRONG\""
                     "\nqm22t run: 0 bytes reached the spooler in 0 writes; [^\n]*kept.prn was not written\n$")
expect_kept("settings without the identification")
string(REPEAT "n" 520 longName)
qm22t("document name too long" EXIT 0 ARGS run ${job} --document ${longName} --out ${WORK}/long-name.prn
      STDERR_MATCHES "run: warning: the document name has 520 UTF-16 units; the plug-in keeps the first 519 \\(--document names it\\)\n")

# The spooler failing as asked keeps what reached it, and the trace.
refill()
qm22t("spooler fails as asked" EXIT 3 ARGS run ${job} ${fixed} --spooler-fail-after 100 ${out} --trace ${keptTrace})
file(SIZE ${kept} size)
expect_equal("spooler fails as asked: bytes kept" "${size}" "100")
file(STRINGS ${keptTrace} trace LIMIT_COUNT 2)
expect_equal("spooler fails as asked: the trace" "${trace}" "# offset offered taken writer;0 3895 100 header")

# --trace - writes the trace to standard error.
qm22t("trace to standard error" EXIT 0 ARGS run ${job} ${fixed} --trace - --out ${WORK}/traced.prn
      STDERR_MATCHES "^# offset offered taken writer\n0 3895 3895 header\n3895 166 166 filter\n")

# Names of values: --set takes them, and the job is the one the numbers make.
qm22t("names" EXIT 0 ARGS run ${job} ${fixed} --set ZTDuplex=longedge --set ZTOutputBox=SharedBox45 --set ZTCollate=True
      --set CopyCount=3 --set ZTStapleMode=1Staple --set ZTJobName=True "--set=ZTJobNameInfo=Quarterly report"
      --out ${WORK}/named.prn)
expect_same_file("names give the example job" ${WORK}/named.prn ${EXAMPLES}/expected-job.prn)
qm22t("fields" EXIT 0 ARGS settings fields STDOUT_VAR fields)
foreach(entry
        "\nZTDuplex  \\(2-byte signed, values\\)\n  values:   1=OFF, 2=LongEdge, 3=ShortEdge\n  default:  1\n  PJL:      DUPLEX, BINDING\n  features: ZTDuplex\n"
        "\nZTOutputBox  \\(1-byte unsigned, values\\)\n  values:   0=PersonalBox, 1\\.\\.100=SharedBox1\\.\\.SharedBox100\n"
        "\nZTStapleMode  \\(1-byte signed, follows ZTBinding\\)\n  values:   0=Off, 10=1Staple, 11=1StapleLeft, 12=1StapleRight, 20=2Staples\n"
        "\nCopyCount  \\(2-byte signed, clamped\\)\n  values:   1\\.\\.9999\n  default:  1\n  PJL:      COPIES, QTY\n  features: -\n"
        "\nZTMaxDrops  \\(2-byte signed, values\\)\n  values:   0=Auto; valid: 0\\.\\.11\n"
        "\nZTInputSlot  \\(2-byte signed, values\\)\n  values:   7=Auto, 257=Standard, 258=Tray1, 259=Tray2, 260=ExternalFeeder\n"
        "\nZTOrientation  \\(2-byte signed, values\\)\n  values:   1=Portrait, 2=Landscape\n  default:  1\n  PJL:      ORIENTATION\n  features: ZTOrientation\n"
        "\nPageTrayTray1  \\(page list of 1000 symbols, text\\)\n  values:   pages and ranges, as 1,3-5\n  default:  \"\"\n  PJL:      ZTPAGETRAYTRAY1\n  features: ZTPageTrayTray1\n")
    if(NOT fields MATCHES "${entry}")
        message(SEND_ERROR "settings fields: no ${entry} in\n${fields}")
    endif()
endforeach()

# Every field's first, second and last name, set by name, stores the number
# the list gives it.
qm22t("fields as JSON" EXIT 0 ARGS settings fields --json STDOUT_VAR json)
string(JSON count LENGTH "${json}" fields)
math(EXPR lastField "${count} - 1")
set(named 0)
foreach(round 0 1 final)
    set(byName)
    set(byNumber)
    foreach(i RANGE ${lastField})
        string(JSON field GET "${json}" fields ${i} name)
        string(JSON names LENGTH "${json}" fields ${i} names)
        set(pick ${round})
        if(round STREQUAL "final")
            math(EXPR pick "${names} - 1")
        endif()
        if(names EQUAL 0 OR pick GREATER_EQUAL names)
            continue()
        endif()
        string(JSON name GET "${json}" fields ${i} names ${pick} name)
        string(JSON number GET "${json}" fields ${i} names ${pick} value)
        list(APPEND byName "${field}=${name}")
        list(APPEND byNumber "${field}=${number}")
        math(EXPR named "${named} + 1")
    endforeach()
    qm22t("names, round ${round}" EXIT 0 ARGS settings set --raw ${byName} STDOUT_VAR namedDump)
    qm22t("numbers, round ${round}" EXIT 0 ARGS settings set --raw ${byNumber} STDOUT_VAR numberedDump)
    string(REGEX REPLACE "^[^\n]*\n" "" namedDump "${namedDump}")
    string(REGEX REPLACE "^[^\n]*\n" "" numberedDump "${numberedDump}")
    expect_equal("names and numbers, round ${round}" "${namedDump}" "${numberedDump}")
endforeach()
if(named LESS 150)
    message(SEND_ERROR "only ${named} names were tried")
endif()

# Ended by a signal while it waits for the rest of its job, the program leaves
# no temporary file beside its output and no work folder in TMPDIR.
find_program(BASH bash)
find_program(MKFIFO mkfifo)
if(BASH AND MKFIFO)
    foreach(signal INT TERM HUP QUIT)
        set(scratch ${WORK}/signal-${signal})
        file(REMOVE_RECURSE ${scratch})
        file(MAKE_DIRECTORY ${scratch}/tmp)
        file(WRITE ${scratch}/out.prn "an earlier spool file\n")
        # 8 KiB of the job reach the program, then the pipe stays open and empty.
        # Job control, so the background program does not start with SIGINT ignored.
        execute_process(COMMAND ${BASH} -c "
            set -e -m
            ulimit -c 0
            cd '${scratch}'
            mkfifo job.fifo
            { head -c 8192 '${EXAMPLES}/job.ps'; printf '%8192s' ''; sleep 30; } > job.fifo 2> /dev/null &
            feeder=$!
            TMPDIR='${scratch}/tmp' '${QM22T}' run job.fifo --out out.prn --trace trace.txt 2> err.txt &
            tool=$!
            for _ in $(seq 100); do
                if ls -A tmp | grep -q . && ls -A | grep -q '^\\.out.prn'; then break; fi
                sleep 0.1
            done
            ls -A tmp > seen.txt; ls -A >> seen.txt
            kill -${signal} $tool
            status=0; wait $tool || status=$?
            kill $feeder 2> /dev/null || true
            echo $status > status.txt"
            RESULT_VARIABLE failed)
        file(READ ${scratch}/status.txt status)
        file(READ ${scratch}/seen.txt seen)
        file(GLOB left ${scratch}/tmp/* ${scratch}/.out.prn* ${scratch}/.trace.txt*)
        file(READ ${scratch}/out.prn outNow)
        if(NOT seen MATCHES "qm22t\\." OR NOT seen MATCHES "\\.out\\.prn\\.qm22t-")
            message(SEND_ERROR "SIG${signal}: the work folder or the temporary output never appeared: ${seen}")
        endif()
        if(left OR NOT outNow STREQUAL "an earlier spool file\n" OR status LESS 128)
            message(SEND_ERROR "SIG${signal}: exit ${status}, left behind: ${left}, output now: ${outNow}")
        endif()
    endforeach()
endif()

# A job whose device object carries no private part: the plug-in cancels it,
# and the message tells what it did and shows the notice the user got, or why
# none was shown.
refill()
string(ASCII 9 tab)
qm22t("cancelled job" EXIT 1 ARGS run ${job} --no-private-part ${out}
      STDERR_MATCHES "^qm22t run: the plug-in's StartDoc hook refused the job"
                     "the device object carried no private part, so the plug-in cancelled the job: it asked the spooler to cancel job 1 \\(SetJob with JOB_CONTROL_CANCEL\\) and showed the user in session 1 this notice:\n    Error\n    The job was canceled\\.\n    ${tab}ErrorNo = 0xA1\nqm22t run: 0 bytes reached the spooler in 0 writes"
                     "kept.prn was not written\n$")
expect_kept("cancelled job")
file(MAKE_DIRECTORY ${WORK}/no-sibling)
get_filename_component(pluginDir ${QM22T} DIRECTORY)
file(COPY ${pluginDir}/QM22TRD.dll DESTINATION ${WORK}/no-sibling)
refill()
qm22t("cancelled job without the sibling library" EXIT 1 ARGS run ${job} --no-private-part --plugin ${WORK}/no-sibling ${out}
      STDERR_MATCHES "and showed no notice: the notice needs the sibling library QM22TIE.dll beside the plug-in, and there is none\n")
expect_kept("cancelled job without the sibling library")
refused("--no-private-part with settings" 2 "--no-private-part runs the job without device settings" run ${job} --no-private-part --settings ${settings} ${out})

# A reader that goes away (SIGPIPE): the work folder and the temporary trace go too.
if(BASH)
    set(scratch ${WORK}/signal-PIPE)
    file(REMOVE_RECURSE ${scratch})
    file(MAKE_DIRECTORY ${scratch}/tmp)
    # A job of about 2 MiB, far more than a pipe holds.
    string(REPEAT "0 0 moveto (a line of the page body) show\r\n" 1000 lines)
    file(WRITE ${scratch}/big.ps "%!PS-Adobe-3.0\r\n")
    foreach(_ RANGE 50)
        file(APPEND ${scratch}/big.ps "${lines}")
    endforeach()
    file(APPEND ${scratch}/big.ps "%%EOF\r\n")
    execute_process(COMMAND ${BASH} -c "
        cd '${scratch}'
        TMPDIR='${scratch}/tmp' '${QM22T}' run big.ps --trace trace.txt 2> err.txt | head -c 1 > /dev/null
        echo \${PIPESTATUS[0]} > status.txt")
    file(READ ${scratch}/status.txt status)
    file(GLOB left ${scratch}/tmp/* ${scratch}/.trace.txt* ${scratch}/trace.txt)
    if(left OR NOT status EQUAL 141)
        message(SEND_ERROR "SIGPIPE: exit ${status}, left behind: ${left}")
    endif()
endif()
refused("inspect standard input twice" 2 "standard input is named twice \\(the spool file and --job\\)" inspect --job - -)

# settings fields --json: numbers as numbers, texts as texts.
qm22t("fields --json" EXIT 0 ARGS settings fields --json STDOUT_VAR json)
string(JSON count LENGTH "${json}" fields)
math(EXPR lastField "${count} - 1")
set(defaults "")
foreach(i RANGE ${lastField})
    string(JSON name GET "${json}" fields ${i} name)
    if(name MATCHES "^(ZTDuplex|Identification|ZTOutputBox)$")
        string(JSON value GET "${json}" fields ${i} default)
        string(JSON type TYPE "${json}" fields ${i} default)
        string(JSON names LENGTH "${json}" fields ${i} names)
        string(APPEND defaults "${name}=${value} ${type} ${names};")
    endif()
endforeach()
expect_equal("fields --json: defaults" "${defaults}" "Identification=VTA/NP STRING 0;ZTDuplex=1 NUMBER 3;ZTOutputBox=1 NUMBER 101;")

# A dump says in its first line what its mark means.
qm22t("dump's first line" EXIT 0 ARGS settings dump ${settings} STDOUT_VAR dump)
string(REGEX MATCH "^[^\n]*\n" first "${dump}")
expect_equal("dump's first line" "${first}"
    "# \"*\" marks a value that differs from the sibling library's defaults. Source: settings of ${settings} over the sibling library's defaults\n")
