# `cmake --install`: the shared library with its version links, the header,
# the tools that were built, a CMake package so that an engine's build can
# say find_package(kivanime) and link kivanime::kivanime, the C# bindings, the
# license and the changelog.
# The version comes from the header (see the top CMakeLists.txt) as
# PROJECT_VERSION, for the library, the package and the bindings alike.
include(CMakePackageConfigHelpers)

set(KIVANIME_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivanime)

if(TARGET kivanime)
    install(TARGETS kivanime EXPORT kivanimeTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/include/kivanime.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    install(EXPORT kivanimeTargets NAMESPACE kivanime::
        DESTINATION ${KIVANIME_INSTALL_CMAKEDIR})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kivanimeConfig.cmake.in
        ${PROJECT_BINARY_DIR}/generated/kivanimeConfig.cmake
        INSTALL_DESTINATION ${KIVANIME_INSTALL_CMAKEDIR})
    # The C interface only grows within a major version (the SONAME says the same).
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/generated/kivanimeConfigVersion.cmake
        COMPATIBILITY SameMajorVersion)
    install(FILES
        ${PROJECT_BINARY_DIR}/generated/kivanimeConfig.cmake
        ${PROJECT_BINARY_DIR}/generated/kivanimeConfigVersion.cmake
        DESTINATION ${KIVANIME_INSTALL_CMAKEDIR})
endif()

# The tools are installed when they were built: building only the library
# and the player (docs/player.md) must not make the install fail.
foreach(tool kivanime-player kivanime-lint)
    if(TARGET ${tool})
        install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)
    endif()
endforeach()

# The C# bindings as a folder to add to a C# project: the hand-written layer,
# NativeMethods.cs, made from the header (src/CMakeLists.txt), and
# AnimeVersion.cs, which states this version, made at configure time.
set(KIVANIME_CSHARP_DIR ${PROJECT_BINARY_DIR}/bindings/csharp)
configure_file(${PROJECT_SOURCE_DIR}/bindings/csharp/AnimeVersion.cs.in
    ${KIVANIME_CSHARP_DIR}/AnimeVersion.cs @ONLY)
configure_file(${PROJECT_BINARY_DIR}/generated/NativeMethods.cs ${KIVANIME_CSHARP_DIR}/NativeMethods.cs COPYONLY)
set(KIVANIME_CSHARP_SOURCES
    ${PROJECT_SOURCE_DIR}/bindings/csharp/Kivanime.cs
    ${KIVANIME_CSHARP_DIR}/NativeMethods.cs
    ${PROJECT_SOURCE_DIR}/bindings/csharp/TaskSystem.cs
    ${KIVANIME_CSHARP_DIR}/AnimeVersion.cs)
install(FILES ${KIVANIME_CSHARP_SOURCES} DESTINATION ${CMAKE_INSTALL_DATADIR}/kivanime/csharp)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
