# The library's layers, bottom to top. Each is a static library of its own
# folder under src/ and links only the layer below it (and through it the
# rest below). A build step checks every file of a layer before it is built
# and stops the build when one includes a header of a higher layer.
set(KIVANIME_LAYERS text json model runtime render api)

function(kivanime_add_layer layer)
    cmake_parse_arguments(ARG "" "" "EXCLUDE;LINK" ${ARGN})
    set(dir ${PROJECT_SOURCE_DIR}/src/${layer})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    foreach(file IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${dir}/${file})
    endforeach()

    list(JOIN KIVANIME_LAYERS "," layers)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layer_${layer}.checked)
    set(script ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake)
    file(GLOB all_files CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/src -DLAYER=${layer}
                -DLAYERS=${layers} -DSTAMP=${stamp} -P ${script}
        DEPENDS ${all_files} ${script}
        COMMENT "Checking the includes of the ${layer} layer"
        VERBATIM)

    set(target kivanime_${layer})
    add_library(${target} STATIC ${sources} ${headers} ${stamp})
    target_link_libraries(${target} PUBLIC ${ARG_LINK})
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    kivanime_target_options(${target})
endfunction()
