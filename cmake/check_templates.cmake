# Checks the two feature-block template files byte for byte: the exact format
# texts, CR LF line ends, 123 bytes each, no terminating zero and nothing after
# the last CR LF. Run as: cmake -DRESOURCE_DIR=<render/resources> -P check_templates.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT RESOURCE_DIR)
    message(FATAL_ERROR "RESOURCE_DIR is not set")
endif()

set(_expected_feature_numeric
    "featurebegin{\r\n%%%%BeginFeature: *%s %d\r\n(%d) /Custom /ProcSet findresource /%s get exec\r\n%%%%EndFeature\r\n}featurecleanup\r\n")
set(_expected_feature_text
    "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n(%s) /Custom /ProcSet findresource /%s get exec\r\n%%%%EndFeature\r\n}featurecleanup\r\n")

set(_failures 0)
foreach(_name feature_numeric feature_text)
    set(_file ${RESOURCE_DIR}/${_name}.txt)
    if(NOT EXISTS ${_file})
        message(SEND_ERROR "${_file} is missing")
        math(EXPR _failures "${_failures} + 1")
        continue()
    endif()
    file(SIZE ${_file} _size)
    file(READ ${_file} _actual HEX)
    string(HEX "${_expected_${_name}}" _expected)
    if(NOT _size EQUAL 123)
        message(SEND_ERROR "${_name}.txt is ${_size} bytes, expected 123")
        math(EXPR _failures "${_failures} + 1")
    elseif(NOT _actual STREQUAL _expected)
        message(SEND_ERROR "${_name}.txt differs from the format text:\n  actual   ${_actual}\n  expected ${_expected}")
        math(EXPR _failures "${_failures} + 1")
    else()
        message(STATUS "${_name}.txt: 123 bytes, exact")
    endif()
endforeach()

if(_failures GREATER 0)
    message(FATAL_ERROR "${_failures} template file(s) wrong")
endif()
