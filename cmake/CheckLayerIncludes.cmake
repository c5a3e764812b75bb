# Run as a build step of each layer (cmake -P): fails when a file of the
# layer includes a header of a layer above it, naming the file and line.
#   -DSOURCE_DIR=<src folder> -DLAYER=<name> -DLAYERS=<bottom,...,top> -DSTAMP=<file>
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" layers "${LAYERS}")
list(FIND layers ${LAYER} own)
math(EXPR below_end "${own} + 1")
list(SUBLIST layers 0 ${below_end} allowed)
list(JOIN allowed ", " allowed_text)

file(GLOB files ${SOURCE_DIR}/${LAYER}/*.cpp ${SOURCE_DIR}/${LAYER}/*.h)
set(problems "")
foreach(file IN LISTS files)
    file(READ ${file} text)
    file(RELATIVE_PATH name ${SOURCE_DIR}/.. ${file})
    set(line 1)
    while(TRUE)
        string(REGEX MATCH "#[ \t]*include[ \t]*[\"<]([A-Za-z0-9_.]+)/[^\">\n]*[\">]" found "${text}")
        if(found STREQUAL "")
            break()
        endif()
        set(folder ${CMAKE_MATCH_1})
        string(FIND "${text}" "${found}" at)
        string(SUBSTRING "${text}" 0 ${at} before)
        string(REGEX REPLACE "[^\n]" "" breaks "${before}")
        string(LENGTH "${breaks}" count)
        math(EXPR line "${line} + ${count}")
        list(FIND layers ${folder} theirs)
        if(folder STREQUAL "..")
            # A path that climbs out of the folder would slip past the check.
            string(APPEND problems "${name}:${line}: error: ${found} climbs out of the folder; "
                "include headers by their path below src/, e.g. \"json/json_value.h\"\n")
        elseif(theirs GREATER own)
            string(APPEND problems "${name}:${line}: error: ${found} reaches up into the "
                "${folder} layer; the ${LAYER} layer may include only ${allowed_text}\n")
        endif()
        string(LENGTH "${found}" length)
        math(EXPR next "${at} + ${length}")
        string(SUBSTRING "${text}" ${next} -1 text)
    endwhile()
endforeach()

if(problems)
    # Compiler-style lines first, unwrapped, so that editors can jump to them.
    message(NOTICE "${problems}")
    message(FATAL_ERROR "the ${LAYER} layer includes a header of a layer above it; "
        "layers, bottom to top: ${LAYERS} (see docs/architecture.md)")
endif()
file(TOUCH ${STAMP})
