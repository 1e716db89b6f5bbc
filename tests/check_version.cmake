# The release is debian/changelog's first entry, its version (less the Debian revision) and its
# date: CMakeLists.txt's project() (VERSION) and CHANGELOG.md's first entry must name the same.
# Usage: cmake -DVERSION=... -DSOURCE_DIR=... -P check_version.cmake
file(STRINGS "${SOURCE_DIR}/debian/changelog" debian REGEX "^(aesm-test \\(| -- )")
list(GET debian 0 entry)
list(GET debian 1 trailer)
string(REGEX MATCH "^aesm-test \\(([^)]+)-[^-)]+\\)" _ "${entry}")
set(debian_version "${CMAKE_MATCH_1}")
string(REGEX MATCH ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) " _ "${trailer}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" month)
math(EXPR month "101 + ${month}")
string(SUBSTRING "${month}" 1 2 month)
set(debian_date "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")

file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" changelog REGEX "^## " LIMIT_COUNT 1)
set(expected "## ${debian_version} - ${debian_date}")
if(NOT VERSION STREQUAL debian_version OR NOT changelog STREQUAL expected)
  message(FATAL_ERROR "debian/changelog's first entry is ${debian_version} of ${debian_date}; "
                      "CMakeLists.txt says ${VERSION}, CHANGELOG.md \"${changelog}\"")
endif()
