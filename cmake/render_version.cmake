# The version of the plug-in and its driver package, read from the one place it
# is written: RENDER_VERSION_TEXT in render/resources/version.rc. Sets
# RENDER_VERSION_TEXT ("1.2.3.4") and RENDER_VERSION_BINARY ("1,2,3,4", the
# form the version record's FILEVERSION takes, handed to the resource compiler
# so the record never holds a second copy of the numbers).
set(_render_version_rc ${PROJECT_SOURCE_DIR}/render/resources/version.rc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_render_version_rc})
file(READ ${_render_version_rc} _render_version_record)
string(REGEX MATCH "#define RENDER_VERSION_TEXT \"([^\"]*)\"" _render_version_match "${_render_version_record}")
if(NOT _render_version_match)
    message(FATAL_ERROR "${_render_version_rc} has no RENDER_VERSION_TEXT")
endif()
set(RENDER_VERSION_TEXT "${CMAKE_MATCH_1}")
# Four numbers of 0 to 65535, as Windows keeps a file and driver version.
if(NOT RENDER_VERSION_TEXT MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "${_render_version_rc}: RENDER_VERSION_TEXT \"${RENDER_VERSION_TEXT}\" is not four numbers A.B.C.D")
endif()
foreach(_render_version_part ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
    if(_render_version_part GREATER 65535)
        message(FATAL_ERROR "${_render_version_rc}: ${_render_version_part} in \"${RENDER_VERSION_TEXT}\" is above 65535")
    endif()
endforeach()
string(REPLACE "." "," RENDER_VERSION_BINARY "${RENDER_VERSION_TEXT}")
