# The cups component as an administrator installs it and as the Debian package
# carries it: `cmake --install --component cups --prefix /usr` into a scratch
# root puts the filter (mode 755) in CUPS's filter folder and the printer
# description in /usr/share/ppd/qm22t/, which cupstestppd then checks with the
# filter it names present; cpack's package holds exactly those two files and
# depends on cups-filters and the libcups the filter links.
#   cmake -DBUILD=DIR -DWORK=DIR -DCHECK_PPD=check_cupstestppd.cmake -P check_install.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND cups-config --serverbin OUTPUT_VARIABLE serverbin OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ENV{DESTDIR} ${WORK}/root)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component cups --prefix /usr
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "install failed: ${out}")
endif()
unset(ENV{DESTDIR})
set(filter ${WORK}/root${serverbin}/filter/qm22t-cups)
set(ppd ${WORK}/root/usr/share/ppd/qm22t/qm22t-cups.ppd)
foreach(file ${filter} ${ppd})
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "the install has no ${file}")
    endif()
endforeach()
# cupsd runs a filter only when nobody but its owner may change it.
execute_process(COMMAND stat -c %a ${filter} OUTPUT_VARIABLE mode OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT mode STREQUAL "755")
    message(FATAL_ERROR "the filter is installed with mode ${mode}, not 755")
endif()

set(PPD ${ppd})
set(ROOT ${WORK}/root)
include(${CHECK_PPD})

execute_process(COMMAND cpack --config ${BUILD}/CPackConfig.cmake -B ${WORK}/deb
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${WORK}/deb/qm22t-cups_*.deb)
if(NOT status EQUAL 0 OR NOT debs)
    message(FATAL_ERROR "cpack wrote no package: ${out}")
endif()
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE listing)
execute_process(COMMAND dpkg-deb -f ${debs} Package Depends OUTPUT_VARIABLE control)
string(REGEX MATCHALL "\\./usr/[^\n]*[^/\n]\n" files "${listing}")
string(REPLACE "\n" "" files "${files}")
set(expected ".${serverbin}/filter/qm22t-cups;./usr/share/ppd/qm22t/qm22t-cups.ppd")
if(NOT files STREQUAL expected OR NOT listing MATCHES "-rwxr-xr-x root/root [^\n]*filter/qm22t-cups")
    message(FATAL_ERROR "the package holds:\n${listing}\nnot, as root with the filter executable: ${expected}")
endif()
if(NOT control MATCHES "Package: qm22t-cups\nDepends: [^\n]*cups-filters[^\n]*libcups2 \\(>= [0-9]")
    message(FATAL_ERROR "the package's control fields:\n${control}")
endif()
message("installed and packaged: ${debs}\n${control}")
