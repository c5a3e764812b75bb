# The include check of the layers, on a scratch tree: an upward include and a
# path that climbs out of its folder fail with file and line, an include of a
# lower layer passes.   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P ...
set(src ${WORK_DIR}/src)
file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${src}/json/reader.cpp "#include \"json/reader.h\"\n\n#include <vector>\n  #  include <api/manager.h>\n#include \"../api/manager.h\"\n")
file(WRITE ${src}/api/manager.cpp "#include \"api/manager.h\"\n#include \"json/reader.h\"\n#include \"kivanime.h\"\n")

function(check layer)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${src} -DLAYER=${layer}
        -DLAYERS=text,json,model,runtime,render,api -DSTAMP=${WORK_DIR}/${layer}.checked
        -P ${SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
        RESULT_VARIABLE result ERROR_VARIABLE output)
    set(result ${result} PARENT_SCOPE)
    set(output "${output}" PARENT_SCOPE)
endfunction()

check(json)
if(result EQUAL 0 OR EXISTS ${WORK_DIR}/json.checked)
    message(FATAL_ERROR "an upward include passed the check")
endif()
foreach(want "src/json/reader.cpp:4: error: #  include <api/manager.h> reaches up into the api layer"
             "src/json/reader.cpp:5: error: #include \"../api/manager.h\" climbs out of the folder")
    string(FIND "${output}" "${want}" at)
    if(at LESS 0)
        message(FATAL_ERROR "missing from the check's output: ${want}\noutput:\n${output}")
    endif()
endforeach()

check(api)
if(NOT result EQUAL 0 OR NOT EXISTS ${WORK_DIR}/api.checked)
    message(FATAL_ERROR "includes of lower layers were refused:\n${output}")
endif()
