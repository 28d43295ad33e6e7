# Outputs written the way the shell's ">" writes them, and the descriptors the
# program starts with. Each case runs one shell command in a fresh folder that
# holds kept.prn ("an earlier spool file"), link.prn (a link to it) and ro.prn
# (read-only), and checks the exit code, standard error (a regex over all of
# it) and the files afterwards: "NAME=job" holds the example spool file byte
# for byte, "NAME=kept" (or ro) still holds what it held, "NAME->TARGET" is a
# link to TARGET, "NAME^TEXT" begins with TEXT, "NAME!" does not exist.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)
find_program(BASH bash REQUIRED)

set(Q "'${QM22T}' run '${EXAMPLES}/job.ps' --settings '${EXAMPLES}/settings.txt' --paper-list '${EXAMPLES}/QM22T.ini' --date 2026-12-07")
set(S "'${QM22T}' settings")
set(spooled "6818 bytes reached the spooler in 8 writes")
get_filename_component(pluginDir ${QM22T} DIRECTORY)
string(ASCII 27 escape)

set(case_count 0)
# outputs(<label> <exit> <stderr regex> <command> <expectations>...)
function(outputs label code regex command)
    math(EXPR n "${case_count} + 1")
    set(case_count ${n} PARENT_SCOPE)
    set(dir ${WORK}/case-${n})
    file(REMOVE_RECURSE ${dir})
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${dir}/kept.prn "an earlier spool file\n")
    file(CREATE_LINK kept.prn ${dir}/link.prn SYMBOLIC)
    file(WRITE ${dir}/ro.prn "a read-only file\n")
    file(CHMOD ${dir}/ro.prn PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
    execute_process(COMMAND ${BASH} -c "ulimit -c 0; ${command}" WORKING_DIRECTORY ${dir}
                    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
    set(where "${label}: ${command}")
    if(NOT rc STREQUAL code)
        message(SEND_ERROR "${where}\n  exit ${rc}, expected ${code}\n  stderr: ${err}")
    endif()
    if(NOT err MATCHES "${regex}")
        message(SEND_ERROR "${where}\n  stderr does not match ${regex}:\n${err}")
    endif()
    foreach(expectation IN LISTS ARGN)
        if(expectation MATCHES "^(.+)->(.+)$")
            file(READ_SYMLINK ${dir}/${CMAKE_MATCH_1} target)
            if(NOT IS_SYMLINK ${dir}/${CMAKE_MATCH_1} OR NOT target STREQUAL CMAKE_MATCH_2)
                message(SEND_ERROR "${where}\n  ${CMAKE_MATCH_1} is no longer a link to ${CMAKE_MATCH_2}")
            endif()
        elseif(expectation MATCHES "^(.+)=job$")
            expect_same_file("${where}" ${dir}/${CMAKE_MATCH_1} ${EXAMPLES}/expected-job.prn)
        elseif(expectation MATCHES "^(.+)=(kept|ro)$")
            file(READ ${dir}/${CMAKE_MATCH_1} now)
            if(NOT now MATCHES "^an? (earlier spool|read-only) file\n$")
                message(SEND_ERROR "${where}\n  ${CMAKE_MATCH_1} changed")
            endif()
        elseif(expectation MATCHES "^(.+)\\^(.+)$")
            file(READ ${dir}/${CMAKE_MATCH_1} now LIMIT 256)
            string(FIND "${now}" "${CMAKE_MATCH_2}" at)
            if(NOT at EQUAL 0)
                message(SEND_ERROR "${where}\n  ${CMAKE_MATCH_1} begins \"${now}\", not \"${CMAKE_MATCH_2}\"")
            endif()
        elseif(expectation MATCHES "^(.+)!$")
            if(EXISTS ${dir}/${CMAKE_MATCH_1})
                message(SEND_ERROR "${where}\n  ${CMAKE_MATCH_1} exists")
            endif()
        else()
            message(FATAL_ERROR "${where}: no expectation \"${expectation}\"")
        endif()
    endforeach()
    file(GLOB leftovers ${dir}/.*qm22t-*)
    if(leftovers)
        message(SEND_ERROR "${where}\n  temporary files left: ${leftovers}")
    endif()
endfunction()

# run
outputs("through a link" 0 "${spooled}\n$" "${Q} --out link.prn" link.prn->kept.prn kept.prn=job)
outputs("a link to a missing file" 0 "" "ln -s new.prn dangling.prn && ${Q} --out dangling.prn"
        dangling.prn->new.prn new.prn=job)
outputs("/dev/stdout" 0 "" "${Q} --out /dev/stdout > out.prn && test -L /dev/stdout" out.prn=job)
outputs("/dev/fd/N" 0 "" "${Q} --out /dev/fd/3 3> out.prn" out.prn=job)
outputs("a pipe" 0 "" "mkfifo pipe.prn && { cat pipe.prn > out.prn & } && ${Q} --out pipe.prn && wait" out.prn=job)
outputs("/dev/fd/N not open" 2 "run: cannot write /dev/fd/7: descriptor 7 is not open\n$"
        "${Q} --out /dev/fd/7 --trace kept.prn" kept.prn=kept)
outputs("/dev/stderr as trace" 0 "^# offset offered taken writer\n0 3935 3935 header\n"
        "${Q} --out out.prn --trace /dev/stderr" out.prn=job)
outputs("a failed trace keeps every output" 2 "run: cannot write /dev/full: No space left on device\n"
        "${Q} --out kept.prn --trace /dev/full --save-private-part part.bin" kept.prn=kept part.bin!)
outputs("--trace - on a full standard error" 2 ""
        "${Q} --out kept.prn --trace - 2> /dev/full" kept.prn=kept)
outputs("read-only output" 2
        "run: cannot write ro.prn: the file is read-only \\(mode 0444\\) and is left as it is; make it writable"
        "${Q} --out ro.prn" ro.prn=ro)
outputs("read-only through a link" 2 "the file is read-only" "ln -s ro.prn ro-link.prn && ${Q} --out ro-link.prn"
        ro.prn=ro ro-link.prn->ro.prn)
outputs("standard error closed" 0 "" "${Q} --out out.prn 2>&-" out.prn=job)
outputs("standard error closed, a bad option" 2 "" "${Q} --out kept.prn --set Colour=1 2>&-" kept.prn=kept)
outputs("standard input and output closed" 0 "${spooled}" "${Q} --out out.prn <&- >&-" out.prn=job)
outputs("a full standard output, told once" 2 "^qm22t run: cannot write standard output: No space left on device\n$"
        "${Q} > /dev/full")
outputs("TMPDIR missing" 2
        "run: cannot make the plug-in's work folder in TMPDIR=/nowhere/tmp: No such file or directory; set TMPDIR to a folder you can write to\n$"
        "TMPDIR=/nowhere/tmp ${Q} --out kept.prn" kept.prn=kept)

# settings
outputs("settings set through a link" 0 "^$" "${S} set '${EXAMPLES}/settings.txt' CopyCount=4 --out link.prn"
        link.prn->kept.prn "kept.prn^# \"*\" marks a value")
outputs("settings defaults, full standard output, told once" 2
        "^qm22t settings defaults: cannot write standard output: No space left on device\n$" "${S} defaults > /dev/full")
outputs("settings set, full standard output, told once" 2
        "^qm22t settings set: cannot write standard output: No space left on device\n$"
        "${S} set '${EXAMPLES}/settings.txt' CopyCount=4 > /dev/full")
outputs("settings defaults to a read-only file" 2 "defaults: cannot write ro.prn: the file is read-only"
        "${S} defaults --out ro.prn" ro.prn=ro)
outputs("settings without the library" 0
        "^qm22t settings defaults: no QM22TIE.dll beside the plug-in in [^\n]*: the plug-in works without it, as on Windows: the defaults are its own, without the identification \"VTA/NP\""
        "cp '${pluginDir}/QM22TRD.dll' . && ${S} defaults --plugin . --out out.txt"
        "out.txt^# \"*\" marks a value that differs from the plug-in's own defaults (without QM22TIE.dll). Source: the plug-in's own defaults (without QM22TIE.dll)\nIdentification=\n")
# The settings commands load nothing: no work folder, no plug-in module needed.
outputs("settings with TMPDIR missing" 0 "^$" "TMPDIR=/nowhere/tmp ${S} set CopyCount=2 --out out.txt"
        "out.txt^# \"*\" marks a value that differs from the sibling library's defaults.")
outputs("settings beside the library alone" 0 "^$" "touch QM22TIE.dll && ${S} defaults --plugin . --out out.txt"
        "out.txt^# \"*\" marks a value that differs from the sibling library's defaults. Source: the sibling library's defaults\nIdentification=VTA/NP\n")
outputs("run without the library" 1
        "run: Command\\(begin stream\\) answered 0x80004005 with result 160; the plug-in wrote no job header and gives the job up: without QM22TIE.dll its own defaults carry no identification"
        "cp '${pluginDir}/QM22TRD.dll' . && ${Q} --plugin . --out kept.prn" kept.prn=kept)
outputs("run without the library, from a private part" 0 "no QM22TIE.dll beside the plug-in"
        "${S} set '${EXAMPLES}/settings.txt' CopyCount=3 --part --out part.bin && cp '${pluginDir}/QM22TRD.dll' . && ${Q} --plugin . --private-part part.bin --out out.prn"
        "out.prn^${escape}%-12345X@PJL")
