cmake_minimum_required(VERSION 3.25)
# The web build's mirror of a source folder, on a scratch tree: files removed
# from the source leave the output, empty folders with them; the files the
# build writes there itself (KEEP, and the declarations of modules that are
# still there) stay; changed files are copied again.
#   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P web_mirror_test.cmake
set(from ${WORK_DIR}/from)
set(to ${WORK_DIR}/to)
file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${from}/kivanime.js "new")
file(WRITE ${from}/pages/index.html "page")
file(WRITE ${to}/kivanime.js "old")
file(WRITE ${to}/kivanime.d.ts "declarations")
file(WRITE ${to}/renamed.js "stale")
file(WRITE ${to}/renamed.d.ts "stale declarations")
file(WRITE ${to}/files.json "written by the build")
file(WRITE ${to}/gone/deeper/old.json "stale")

function(mirror)
    execute_process(COMMAND ${CMAKE_COMMAND} -DFROM=${from} -DTO=${to} -DKEEP=files.json
        -P ${SOURCE_DIR}/web/mirror-folder.cmake RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the mirror failed: ${result}")
    endif()
endfunction()

function(expect_files want)
    file(GLOB_RECURSE have LIST_DIRECTORIES true RELATIVE ${to} ${to}/*)
    list(SORT have)
    if(NOT "${have}" STREQUAL "${want}")
        message(FATAL_ERROR "the output holds\n  ${have}\ninstead of\n  ${want}")
    endif()
endfunction()

mirror()
expect_files("files.json;kivanime.d.ts;kivanime.js;pages;pages/index.html")
file(READ ${to}/kivanime.js text)
if(NOT text STREQUAL "new")
    message(FATAL_ERROR "a changed file was not copied: ${text}")
endif()

# A module removed takes its declarations along; a folder removed goes whole.
file(REMOVE ${from}/kivanime.js)
file(REMOVE_RECURSE ${from}/pages)
mirror()
expect_files("files.json")

# A missing source folder empties the output but for what the build keeps.
file(REMOVE_RECURSE ${from})
file(WRITE ${to}/left.js "stale")
mirror()
expect_files("files.json")
