# Installs the build into a fresh prefix, checks the installed files, then
# configures, builds and runs a small game project against the prefix alone
# (the README's minimal host), which must draw every part.
# Arguments (-D): BUILD_DIR, SOURCE_DIR, WORK_DIR, GENERATOR, C_COMPILER,
# LIB_DIR, PLAYER (ON when the player was built).
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
    endif()
    message(STATUS "${out}")
    set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The library's version links, the header, the tools, the package files, the
# C# bindings and the license.
file(GLOB real_library ${prefix}/${LIB_DIR}/libkivanime.so.*.*.*)
file(READ_SYMLINK ${prefix}/${LIB_DIR}/libkivanime.so dev_link)
file(GLOB so_link ${prefix}/${LIB_DIR}/libkivanime.so.[0-9])
set(expected
    ${prefix}/include/kivanime.h
    ${prefix}/bin/kivanime-lint
    ${prefix}/${LIB_DIR}/cmake/kivanime/kivanimeConfig.cmake
    ${prefix}/${LIB_DIR}/cmake/kivanime/kivanimeConfigVersion.cmake
    ${prefix}/share/kivanime/csharp/Kivanime.cs
    ${prefix}/share/kivanime/csharp/NativeMethods.cs
    ${prefix}/share/kivanime/csharp/AnimeVersion.cs
    ${prefix}/share/doc/kivanime/LICENSE)
if(PLAYER)
    list(APPEND expected ${prefix}/bin/kivanime-player)
endif()
foreach(file IN LISTS expected real_library so_link)
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
get_filename_component(so_name ${so_link} NAME)
if(NOT IS_SYMLINK ${so_link} OR NOT dev_link STREQUAL so_name OR NOT real_library)
    message(FATAL_ERROR "libkivanime.so should link to ${so_name}, a link to the real file")
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/game
    -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    -DMINIMAL_HOST=${SOURCE_DIR}/examples/minimal_host.c)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/game)
# Four frames of the minimal puppet's two parts.
run(${WORK_DIR}/game/game ${SOURCE_DIR}/examples/minimal/model.json)
string(REGEX MATCHALL "  draw texture" draws "${out}")
list(LENGTH draws count)
if(NOT count EQUAL 8)
    message(FATAL_ERROR "the game drew ${count} records, not 8:\n${out}")
endif()

if(PLAYER)
    # The installed player finds the installed library without being told.
    run(${prefix}/bin/kivanime-player ${SOURCE_DIR}/examples/hero/model.json --motion idle
        --frames 2 --still ${WORK_DIR}/still.png --quiet)
endif()
run(${prefix}/bin/kivanime-lint ${SOURCE_DIR}/examples/hero/model.json)
