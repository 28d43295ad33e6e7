# Runs cupstestppd on a generated printer description (-DPPD=...). Fails on
# any error, and on any warning not explained below; prints every warning with
# its explanation so the test's output lists them.
find_program(CUPSTESTPPD cupstestppd)
if(NOT CUPSTESTPPD)
    message(FATAL_ERROR "cupstestppd is missing: scripts/install-deps.sh installs the Debian package cups-client")
endif()
# -DROOT=DIR: the folder the description's filter is installed under
# (cupstestppd -R), for a description that names one.
set(root_args)
if(ROOT)
    set(root_args -R ${ROOT})
endif()
execute_process(COMMAND ${CUPSTESTPPD} -W all ${root_args} ${PPD}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cupstestppd failed (${status})")
endif()

# Each explained warning: a regular expression and why it stays.
set(explained
    # The sizes are named by the keywords of the plug-in's paper table, which
    # its paper mapping matches byte for byte with the paper-list file; CUPS
    # would rename a size whose imageable area is the whole sheet ".Fullbleed",
    # a naming the Windows driver does not use.
    "^Size \"[^\"]+\" should be the Adobe standard name \"[^\"]+\"\\.$"
    "sizes keep the plug-in's paper keywords (the paper mapping matches them byte for byte)"
    # The feature keywords are the printer's own, fixed by the rewriter's
    # tables; it finds a block by the keyword and the blank behind it, and the
    # driver compares whole keywords, so a shared beginning misleads neither.
    "^ZT[A-Za-z0-9]+ shares a common prefix with ZT[A-Za-z0-9]+$"
    "the printer's feature keywords; the rewriter and the driver compare whole keywords")
list(LENGTH explained count)
math(EXPR last "${count} - 1")

string(REPLACE "\n" ";" lines "${out}${err}")
set(unexplained 0)
set(warnings 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*WARN[ \t]+(.*)$")
        set(warning "${CMAKE_MATCH_1}")
        math(EXPR warnings "${warnings} + 1")
        set(reason "")
        foreach(i RANGE 0 ${last} 2)
            list(GET explained ${i} pattern)
            if(warning MATCHES "${pattern}")
                math(EXPR j "${i} + 1")
                list(GET explained ${j} reason)
                break()
            endif()
        endforeach()
        if(reason STREQUAL "")
            message("UNEXPLAINED WARNING: ${warning}")
            math(EXPR unexplained "${unexplained} + 1")
        else()
            message("explained: ${warning} -- ${reason}")
        endif()
    endif()
endforeach()
message("cupstestppd: ${warnings} warnings, ${unexplained} unexplained")
if(unexplained GREATER 0)
    message(FATAL_ERROR "cupstestppd printed warnings nobody explained; fix them or explain them in ${CMAKE_CURRENT_LIST_FILE}")
endif()
