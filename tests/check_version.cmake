# The release is debian/changelog's first entry, its version (less the Debian revision) and its
# date: CMakeLists.txt's project() (VERSION) and CHANGELOG.md's first entry must name the same.
# Usage: cmake -DVERSION=... -DSOURCE_DIR=... -P check_version.cmake
file(READ "${SOURCE_DIR}/debian/changelog" debian)
if(NOT debian MATCHES "^aesm-test \\(([^)]+)-[^-)]+\\)[^\n]*\n[^>]*>  ([^\n]+)")
  message(FATAL_ERROR "debian/changelog: no first entry")
endif()
set(debian_version "${CMAKE_MATCH_1}")
execute_process(COMMAND date -u -d "${CMAKE_MATCH_2}" +%F OUTPUT_VARIABLE debian_date
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" changelog REGEX "^## " LIMIT_COUNT 1)
if(NOT VERSION STREQUAL debian_version OR NOT changelog STREQUAL "## ${VERSION} - ${debian_date}")
  message(FATAL_ERROR "debian/changelog's first entry is ${debian_version} of ${debian_date}; "
                      "CMakeLists.txt says ${VERSION}, CHANGELOG.md \"${changelog}\"")
endif()
