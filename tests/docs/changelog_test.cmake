cmake_minimum_required(VERSION 3.25)
# CHANGELOG.md has a section for the version the header states, so that a
# release never ships without telling its users what changed.
# -DSOURCE_DIR=... -DVERSION=major.minor.patch
file(STRINGS ${SOURCE_DIR}/CHANGELOG.md sections REGEX "^## ")
string(REPLACE "." "\\." version "${VERSION}")
if(NOT sections MATCHES "(^|;)## ${version} - [0-9]")
    message(FATAL_ERROR "CHANGELOG.md has no section \"## ${VERSION} - <date>\"")
endif()
