# The names README.md and docs/*.md give in backticks are the code's: tests (`group.name`,
# `group.*`) defined under tests/ or by test.sh, presets (`x` preset, --preset x) in
# CMakePresets.json, and paths in the tree.
# Usage: cmake -DSOURCE_DIR=... -P check_docs.cmake
file(GLOB docs ${SOURCE_DIR}/README.md ${SOURCE_DIR}/docs/*.md)
file(GLOB_RECURSE sources ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.cmake
     ${SOURCE_DIR}/tests/CMakeLists.txt)
set(code "")
foreach(file IN LISTS sources ITEMS ${SOURCE_DIR}/test.sh)
  file(READ ${file} text)
  string(APPEND code "${text}")
endforeach()
file(READ ${SOURCE_DIR}/CMakePresets.json presets)

set(failures "")
foreach(doc IN LISTS docs)
  file(RELATIVE_PATH where ${SOURCE_DIR} ${doc})
  file(READ ${doc} text)
  string(REGEX REPLACE "[];[]" "," text "${text}") # list separators, to CMake
  string(REGEX MATCHALL "`[^`\n]+`( presets?)?|--preset [a-z0-9-]+" spans "${text}")
  foreach(span IN LISTS spans)
    string(REGEX REPLACE "`| presets?$" "" name "${span}")
    # (${CMAKE_MATCH_n} is expanded before its if() matches: hence the nested ifs.)
    string(REGEX MATCH "--preset ([a-z0-9-]+)|^`([a-z0-9-]+)` preset" preset "${span}")
    if(preset)
      set(preset "${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
      if(NOT presets MATCHES "\"name\": \"${preset}\"")
        list(APPEND failures "${where}: no preset ${preset}")
      endif()
    elseif(name MATCHES "^([a-z_]+)\\.([a-z_]+|\\*)$"
           AND NOT name MATCHES "\\.(md|txt|exe|map|cmake|sh|c|cpp|h|deb|zip|json|scd|socket)$")
      string(REGEX MATCH "^([a-z_]+)\\.(.*)$" name "${name}")
      set(group ${CMAKE_MATCH_1})
      set(test ${CMAKE_MATCH_2})
      # A gtest case, a name written whole, or group.${...} with the name in a list of rows.
      if(test STREQUAL "*")
        set(found "TEST(_F)?\\(${group},|[^a-z_]${group}\\.")
      else()
        set(found "TEST(_F)?\\(${group}, ${test}\\)|[^a-z_]${group}\\.${test}[^a-z_]")
      endif()
      if(NOT code MATCHES "${found}" AND NOT (code MATCHES "${group}\\.\\\${"
                                              AND code MATCHES "[ (\n]${test}[ )\n]"))
        list(APPEND failures "${where}: no test ${name}")
      endif()
    elseif(name MATCHES "^([A-Za-z0-9_.-]+)/[A-Za-z0-9_./-]*$")
      if(EXISTS ${SOURCE_DIR}/${CMAKE_MATCH_1} AND NOT CMAKE_MATCH_1 STREQUAL build
         AND NOT EXISTS ${SOURCE_DIR}/${name})
        list(APPEND failures "${where}: no file ${name}")
      endif()
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" failures)
  message(FATAL_ERROR "Names in the documents that the code does not have:\n${failures}")
endif()
