# The command line and bad input: help and version, and each kind of mistake
# with the message and exit code it gets. Warnings leave the job running.
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

set(job ${EXAMPLES}/job.ps)

foreach(command run settings inspect)
    qm22t("${command} --help" EXIT 0 ARGS ${command} --help STDOUT_MATCHES "^usage: qm22t ${command}" "\nExit codes:\n  0  ")
endforeach()
qm22t("--help" EXIT 0 ARGS --help STDOUT_MATCHES "^usage: qm22t COMMAND")
# The version record of render/resources/version.rc.
qm22t("--version" EXIT 0 ARGS --version
      STDOUT_EQUALS "qm22t 1.0.0.0\nPostScript rendering plug-in QM22TRD.dll, Production Inkjet PostScript Driver\n")
qm22t("no command" EXIT 2 ARGS STDERR_MATCHES "^usage: qm22t COMMAND")
qm22t("unknown command" EXIT 2 ARGS print STDERR_MATCHES "qm22t: unknown command \"print\"")
# help COMMAND is COMMAND --help; anything else names what went wrong.
foreach(case
        "help run|0|^usage: qm22t run |^$"
        "help inspect|0|^usage: qm22t inspect |^$"
        "help print|2|^$|^qm22t: help takes one command: run, settings or inspect, not \"print\"\n$"
        "help run settings|2|^$|not \"settings\"\n$"
        "--bogus|2|^$|^qm22t: unknown option --bogus: qm22t itself takes only --help and --version; the other options follow a command"
        "-x|2|^$|^qm22t: unknown option -x: ")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 arguments)
    list(GET parts 1 code)
    list(GET parts 2 stdout)
    list(GET parts 3 stderr)
    separate_arguments(arguments UNIX_COMMAND "${arguments}")
    qm22t("${case}" EXIT ${code} ARGS ${arguments} STDOUT_MATCHES "${stdout}" STDERR_MATCHES "${stderr}")
endforeach()
qm22t("no job" EXIT 2 ARGS run STDERR_MATCHES "qm22t run: no job given")
qm22t("unknown option" EXIT 2 ARGS run --copies 2 ${job} STDERR_MATCHES "qm22t run: unknown option --copies")
qm22t("option without value" EXIT 2 ARGS run ${job} --out STDERR_MATCHES "qm22t run: --out needs a value")
qm22t("bad write size" EXIT 2 ARGS run ${job} --write-size 0
      STDERR_MATCHES "--write-size wants a count of bytes from 1 to 67108864, not \"0\"")

# Settings the run cannot use.
qm22t("unknown field" EXIT 2 ARGS run --set CopyCont=3 ${job}
      STDERR_MATCHES "qm22t run: --set CopyCont=3: unknown field \"CopyCont\"; closest: CopyCount\n")
qm22t("field far from every name" EXIT 2 ARGS run --set Colour=1 ${job}
      STDERR_MATCHES "unknown field \"Colour\"; `qm22t settings fields` lists every field")
file(WRITE ${WORK}/bad-settings.txt "# two fields\nZTDuplex=2\nNoSuchSetting=1\n")
qm22t("unknown field in a file" EXIT 2 ARGS run --settings ${WORK}/bad-settings.txt ${job}
      STDERR_MATCHES "bad-settings.txt: line 3: unknown field \"NoSuchSetting\"")
qm22t("number too large for its field" EXIT 2 ARGS run --set ZTDuplex=70000 ${job}
      STDERR_MATCHES "70000 does not fit ZTDuplex \\(2-byte signed, -32768\\.\\.32767\\)")
qm22t("not a number" EXIT 2 ARGS run --set CopyCount=many ${job}
      STDERR_MATCHES "\"many\" is not a number; CopyCount is a number")
qm22t("text too long" EXIT 2 ARGS run --set ZTSecretNumInfo=123456789 ${job}
      STDERR_MATCHES "ZTSecretNumInfo holds at most 8 UTF-16 units; the text has 9")
qm22t("not a page list" EXIT 2 ARGS run --set PageTrayTray1=1+3 ${job}
      STDERR_MATCHES "a page list holds digits, \",\" and \"-\" only, not \"\\+\"")
qm22t("raw bytes past the block" EXIT 2 ARGS run --set @12000=0102030405 ${job}
      STDERR_MATCHES "5 bytes at @12000 run past the block's 12004 bytes")
qm22t("unreadable settings file" EXIT 2 ARGS run --settings ${WORK}/nowhere.txt ${job}
      STDERR_MATCHES "cannot read the --settings file [^\n]*nowhere.txt: No such file or directory")
qm22t("not a private part" EXIT 2 ARGS run --private-part ${EXAMPLES}/settings.txt ${job}
      STDERR_MATCHES "settings.txt is not a private part: it has 293 bytes")
qm22t("unreadable job" EXIT 2 ARGS run ${WORK}/nowhere.ps STDERR_MATCHES "cannot read the job [^\n]*nowhere.ps")
qm22t("no plug-in" EXIT 2 ARGS run --plugin ${WORK} ${job} STDERR_MATCHES "no plug-in module at [^\n]*/QM22TRD.dll")

# Warnings: the job runs on as the plug-in would run it.
string(ASCII 27 escape)
file(WRITE ${WORK}/pjl-first.ps "${escape}%-12345X@PJL\r\n%!PS-Adobe-3.0\r\n%%EOF\r\n")
qm22t("job without %!PS-" EXIT 0 ARGS run ${WORK}/pjl-first.ps --out ${WORK}/pjl-first.prn
      STDERR_MATCHES "warning: the job does not begin with \"%!PS-\" but with \"\\\\x1B%-12345X@PJL\\\\r\\\\n")
file(WRITE ${WORK}/lf.ps "%!PS-Adobe-3.0\n%%EOF\n")
qm22t("job with LF lines" EXIT 0 ARGS run ${WORK}/lf.ps --out ${WORK}/lf.prn
      STDERR_MATCHES "warning: the job's lines end in LF, not CR LF")
file(WRITE ${WORK}/QM22T.ini "; Paper-list file\nPJL_PAPER_LIST=A3 Wide=21\n")
qm22t("8-bit paper-list file" EXIT 0 ARGS run --paper-list ${WORK}/QM22T.ini ${job} --out ${WORK}/paper.prn
      STDERR_MATCHES "warning: the paper-list file [^\n]*QM22T.ini is not UTF-16 little-endian text: it holds 8-bit text, beginning \"; Paper-list file\\\\nPJL_PAP")

# settings and inspect refuse what they cannot read.
qm22t("settings without action" EXIT 2 ARGS settings STDERR_MATCHES "which action\\?")
qm22t("settings diff of one" EXIT 2 ARGS settings diff ${EXAMPLES}/settings.txt STDERR_MATCHES "diff takes 2 sources")
qm22t("settings of a bad file" EXIT 2 ARGS settings dump ${WORK}/bad-settings.txt
      STDERR_MATCHES "qm22t settings dump: [^\n]*bad-settings.txt: line 3: unknown field")
qm22t("inspect without a file" EXIT 2 ARGS inspect STDERR_MATCHES "give one spool file")

# A damaged spool file: every check that fails says where.
file(WRITE ${WORK}/damaged.prn
     "${escape}%-12345X@PJL\r\n@PJL SET ZTNOSUCH=1\n@PJL SET QTY=2\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n"
     "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n%%EndPageSetup\r\n%%Page: 1 1\r\n%%BeginPageSetup\r\n")
qm22t("damaged spool file" EXIT 1 ARGS inspect ${WORK}/damaged.prn
      STDOUT_MATCHES "\n    2  @PJL SET ZTNOSUCH=1  \\[no CR LF\\] +! no row of the PJL table makes this line\n"
                     "\n    3  @PJL SET QTY=2 +ZTCollate=2, CopyCount=2\n"
                     "\n  FAIL  every header line ends in CR LF: line 2\n"
                     "\n  FAIL  every @PJL SET line comes from the PJL table: 1 line flagged\n"
                     "\n  FAIL  document and page setup markers pair up: line 7: %%EndPageSetup closes the document setup that line 6 opened; %%BeginPageSetup at line 9 is never closed\n")
