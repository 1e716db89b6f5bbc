# Stands in for `cmake -E vs_link_exe` and `vs_link_dll` (cmake -P link.cmake [MANIFEST...] --
# LLD-LINK ARG...): runs lld-link having it embed the manifest merged from the .manifest sources
# given, unless the command says /MANIFEST:NO.
cmake_minimum_required(VERSION 3.25)

# Arguments 0 to 2 are cmake -P link.cmake.
set(args "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 3 ${last})
  list(APPEND args "${CMAKE_ARGV${i}}")
endforeach()
list(FIND args "--" split)
list(SUBLIST args 0 ${split} manifests)
math(EXPR split "${split} + 1")
list(SUBLIST args ${split} -1 command)

string(TOUPPER "${command}" upper)
if(NOT "/MANIFEST:NO" IN_LIST upper)
  list(APPEND command /MANIFEST:EMBED)
  foreach(manifest IN LISTS manifests)
    list(APPEND command "/MANIFESTINPUT:${manifest}")
  endforeach()
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  list(GET command 0 linker)
  message(FATAL_ERROR "${linker} gave ${result}")
endif()
