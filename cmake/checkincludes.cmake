# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DSOURCES=a.cpp;b.h -DALLOWED=view;... -P checkincludes.cmake
# Fails when one of SOURCES includes, in quotes, a header outside the ALLOWED folders of src/.
cmake_minimum_required(VERSION 3.16)
foreach(source IN LISTS SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
        string(REGEX MATCH "^[^/]*" folder "${header}")
        if(header MATCHES "^ui_")
            continue()
        endif()
        if(NOT header MATCHES "/" OR NOT folder IN_LIST ALLOWED)
            message(SEND_ERROR "${source}: includes \"${header}\"; may include only from: ${ALLOWED}")
        endif()
    endforeach()
endforeach()
