# The installed tool on its own: `cmake --install` into a prefix outside the
# build tree, the prefix moved elsewhere, and the moved copy runs the example
# job to exactly examples/expected-job.prn with the paper-list file installed
# beside the plug-in, loading no file of the build tree (the loader's own
# record says which files it opened). `man qm22t` finds the installed page and
# bash finds the completion.
#   cmake -DBUILD=build-folder -DEXAMPLES=examples -P check_install.cmake
if(NOT BUILD OR NOT EXAMPLES)
    message(FATAL_ERROR "BUILD and EXAMPLES must be set")
endif()

# Outside the build tree, so nothing found under it can come from the install.
if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
    set(_temp "$ENV{TMPDIR}")
else()
    set(_temp /tmp)
endif()
execute_process(COMMAND mktemp -d ${_temp}/qm22t-install.XXXXXX OUTPUT_VARIABLE TOP OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_DIRECTORY "${TOP}")
    message(FATAL_ERROR "cannot make a temporary folder in ${_temp}")
endif()
get_filename_component(_build "${BUILD}" REALPATH)
string(FIND "${TOP}/" "${_build}/" _inside)
if(_inside EQUAL 0)
    message(FATAL_ERROR "the temporary folder ${TOP} lies in the build tree")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${TOP}/first
                RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
    file(REMOVE_RECURSE ${TOP})
    message(FATAL_ERROR "cmake --install failed (${_rc}):\n${_out}${_err}")
endif()
set(PREFIX ${TOP}/moved)
file(RENAME ${TOP}/first ${PREFIX})

set(QM22T ${PREFIX}/bin/qm22t)
set(WORK ${TOP}/work)
include(${CMAKE_CURRENT_LIST_DIR}/qm22t_test.cmake)

foreach(_file bin/qm22t lib/qm22t/QM22TRD.dll lib/qm22t/QM22TIE.dll lib/qm22t/libwinsim.so lib/qm22t/QM22T.ini
              share/man/man1/qm22t.1 share/bash-completion/completions/qm22t)
    if(NOT EXISTS ${PREFIX}/${_file})
        message(SEND_ERROR "the install holds no ${_file}")
    endif()
endforeach()
expect_same_file("installed paper-list file" ${PREFIX}/lib/qm22t/QM22T.ini ${EXAMPLES}/QM22T.ini)

# Each binary finds its libraries relative to itself, and nowhere else.
foreach(_case "bin/qm22t|$ORIGIN:$ORIGIN/../lib/qm22t" "lib/qm22t/QM22TRD.dll|$ORIGIN"
              "lib/qm22t/QM22TIE.dll|$ORIGIN" "lib/qm22t/libwinsim.so|$ORIGIN")
    string(REPLACE "|" ";" _case "${_case}")
    list(GET _case 0 _file)
    list(GET _case 1 _expected)
    execute_process(COMMAND readelf -d ${PREFIX}/${_file} OUTPUT_VARIABLE _dynamic)
    if(NOT _dynamic MATCHES "\\(RUNPATH\\)[^\n]*\\[([^]\n]*)\\]")
        message(SEND_ERROR "${_file} has no RUNPATH:\n${_dynamic}")
    elseif(NOT CMAKE_MATCH_1 STREQUAL _expected)
        message(SEND_ERROR "${_file}: RUNPATH ${CMAKE_MATCH_1}, expected ${_expected}")
    endif()
    if(_dynamic MATCHES "\\(RPATH\\)")
        message(SEND_ERROR "${_file} carries an RPATH beside its RUNPATH")
    endif()
endforeach()

# The example job with a clean environment and the loader's record of every
# file it tried and opened.
file(MAKE_DIRECTORY ${WORK})
execute_process(
    COMMAND env -i PATH=/usr/bin:/bin LD_DEBUG=libs LD_DEBUG_OUTPUT=${WORK}/loader
            ${QM22T} run --settings ${EXAMPLES}/settings.txt --date 2026-12-07 ${EXAMPLES}/job.ps
            --out ${WORK}/job.prn
    RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
    message(SEND_ERROR "the installed qm22t run failed (${_rc}): ${_err}")
endif()
expect_same_file("installed run" ${WORK}/job.prn ${EXAMPLES}/expected-job.prn)
file(GLOB _records ${WORK}/loader.*)
set(_loaded "")
foreach(_record IN LISTS _records)
    file(READ ${_record} _text)
    string(APPEND _loaded "${_text}")
endforeach()
# The plug-in and the sibling are opened through the session's work folder,
# which links to the installed files.
foreach(_library QM22TRD.dll QM22TIE.dll)
    if(NOT _loaded MATCHES "calling init: [^\n]*/${_library}")
        message(SEND_ERROR "the loader's record does not show ${_library} loaded")
    endif()
endforeach()
if(NOT _loaded MATCHES "trying file=${PREFIX}/bin/\\.\\./lib/qm22t/libwinsim\\.so")
    message(SEND_ERROR "libwinsim.so was not found in the moved prefix:\n${_loaded}")
endif()
string(FIND "${_loaded}" "${_build}" _fromBuild)
if(NOT _fromBuild EQUAL -1)
    message(SEND_ERROR "the installed tool looked into the build tree ${_build}:\n${_loaded}")
endif()
qm22t("installed settings" EXIT 0 ARGS settings defaults STDOUT_MATCHES "\nZTDuplex=1\n")

# The manual page through man's own search, and without a warning.
execute_process(COMMAND env MANPATH=${PREFIX}/share/man MANPAGER=cat MANWIDTH=80 man qm22t
                RESULT_VARIABLE _rc OUTPUT_VARIABLE _page ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT _page MATCHES "COMMAND RUN" OR NOT _page MATCHES "--spooler-fail-after")
    message(SEND_ERROR "man qm22t with MANPATH under the prefix (${_rc}): ${_err}\n${_page}")
endif()
execute_process(COMMAND env MANWIDTH=80 man --warnings -l ${PREFIX}/share/man/man1/qm22t.1
                OUTPUT_QUIET ERROR_VARIABLE _warnings)
if(NOT _warnings STREQUAL "")
    message(SEND_ERROR "man --warnings on qm22t.1:\n${_warnings}")
endif()

execute_process(COMMAND bash -c "source '${PREFIX}/share/bash-completion/completions/qm22t' && complete -p qm22t"
                OUTPUT_VARIABLE _complete RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0 OR NOT _complete MATCHES "-F _qm22t qm22t")
    message(SEND_ERROR "the installed completion does not register for qm22t: ${_complete}")
endif()

file(REMOVE_RECURSE ${TOP})
