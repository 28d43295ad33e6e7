# Writes the manual page qm22t(1) from the tool's own --help texts with
# help2man: the overview from `qm22t --help` and `--version`, one section per
# command from `qm22t COMMAND --help`, shown as the tool prints it.
#   cmake -DQM22T=program -DHELP2MAN=help2man -DOUT=qm22t.1 -DWORK=folder -P man_page.cmake
foreach(_var QM22T HELP2MAN OUT WORK)
    if(NOT DEFINED ${_var})
        message(FATAL_ERROR "man_page.cmake: ${_var} is not set")
    endif()
endforeach()

# Text as roff shows it unfilled: backslashes escaped, a line that begins with
# a control character kept as text.
function(as_roff text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# help2man takes a synopsis from "Usage:" lines only; the tool's are "usage:".
set(_include "[SYNOPSIS]
.B qm22t
.I COMMAND
.RI [ options ]
.br
.B qm22t
.BR --help \\(or --version
")
foreach(_command run settings inspect)
    execute_process(COMMAND ${QM22T} ${_command} --help RESULT_VARIABLE _status OUTPUT_VARIABLE _help)
    if(NOT _status EQUAL 0 OR _help STREQUAL "")
        message(FATAL_ERROR "qm22t ${_command} --help failed (${_status})")
    endif()
    as_roff("${_help}" _help)
    string(TOUPPER "${_command}" _section)
    string(APPEND _include "[COMMAND ${_section}]\n.nf\n${_help}.fi\n\n")
endforeach()
string(APPEND _include "[FILES]
.TP
.I bin/qm22t
the tool, under the install prefix
.TP
.I lib/qm22t/QM22TRD.dll
the plug-in module it loads; beside it the sibling library
.IR QM22TIE.dll ,
the paper-list file
.I QM22T.ini
and the simulated Windows library
.IR libwinsim.so .
The plug-in finds the sibling library and the paper-list file in its own
folder, as on Windows.
")
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/qm22t.h2m "${_include}")

execute_process(
    COMMAND ${HELP2MAN} --no-info --section=1
            "--name=job tools of the PostScript rendering plug-in QM22TRD.dll"
            --include=${WORK}/qm22t.h2m --output=${OUT} ${QM22T}
    RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
    message(FATAL_ERROR "help2man failed (${_status})")
endif()
