# `cmake --install`: the shared library with its version links, the header,
# the tools that were built, and a CMake package so that an engine's build can
# say find_package(kivanime) and link kivanime::kivanime.
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
