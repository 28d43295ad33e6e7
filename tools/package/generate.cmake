# Runs qm22t-package at build time with the driver date of the source: the
# SOURCE_DATE_EPOCH of the environment when it is set, else the date of the
# checked-out commit; never the day of the build, so two builds of one commit
# write the same bytes.
#
#   cmake -DTOOL=qm22t-package -DOUT=DIR -DVERSION=A.B.C.D -DSOURCE_DIR=DIR -P generate.cmake
foreach(_name TOOL OUT VERSION SOURCE_DIR)
    if(NOT DEFINED ${_name})
        message(FATAL_ERROR "generate.cmake needs -D${_name}=...")
    endif()
endforeach()

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(_epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(_from "SOURCE_DATE_EPOCH")
else()
    find_program(_git git)
    if(_git)
        execute_process(COMMAND ${_git} -C ${SOURCE_DIR} log -1 --format=%ct
                        RESULT_VARIABLE _status OUTPUT_VARIABLE _epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    if(NOT _git OR NOT _status EQUAL 0)
        message(FATAL_ERROR "qm22t-package: the driver date comes from the commit, and ${SOURCE_DIR} is no git "
                            "checkout (or git is missing): set SOURCE_DATE_EPOCH to the release's date in seconds "
                            "since 1970")
    endif()
    set(_from "the commit date")
endif()
if(NOT _epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "qm22t-package: ${_from} \"${_epoch}\" is not a count of seconds since 1970")
endif()
# string(TIMESTAMP) reads the time from SOURCE_DATE_EPOCH when it is set.
set(ENV{SOURCE_DATE_EPOCH} "${_epoch}")
string(TIMESTAMP _date "%m/%d/%Y" UTC)

file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${TOOL} --out ${OUT} --version ${VERSION} --date ${_date} RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
    message(FATAL_ERROR "qm22t-package failed (${_status})")
endif()
