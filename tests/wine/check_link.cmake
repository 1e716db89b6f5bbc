# Reads the mingw-w64 program's link map and image (cmake -P; MAP, IMAGE, OBJDUMP, NOTICES): the
# functions that take a local's address check a stack canary, and every file from outside the
# build that the link took is named in the notices shipped beside the program.
cmake_minimum_required(VERSION 3.25)
file(READ "${MAP}" map)
file(READ "${NOTICES}" notices)
set(failures "")

if(NOT map MATCHES "\n +0x0*([0-9a-f]+) +__stack_chk_fail\n")
  message(FATAL_ERROR "windows.link: ${MAP} has no __stack_chk_fail: no code checks a canary")
endif()
set(check_failed "0x${CMAKE_MATCH_1}")
# A function ends where the map's next line begins; only a canary's check calls __stack_chk_fail.
foreach(function dup_env_value aesm_connection_open)
  if(NOT map MATCHES "\n +0x0*([0-9a-f]+) +${function}\\([^\n]*\n[^\n0]*0x0*([0-9a-f]+)")
    message(FATAL_ERROR "windows.link: ${MAP} has no ${function}")
  endif()
  execute_process(COMMAND ${OBJDUMP} -d --start-address=0x${CMAKE_MATCH_1}
                          --stop-address=0x${CMAKE_MATCH_2} "${IMAGE}" OUTPUT_VARIABLE code)
  if(NOT code MATCHES "\tcallq\t${check_failed} ")
    string(APPEND failures "\n  ${function} checks no stack canary")
  endif()
endforeach()

# The build's own files are relative to it in the map. A member that mingw-w64 compiled from one
# of its sources (lib64_libmingw32_a-gccmain.o) is named by that source, as licences differ
# between them; anything else by its archive or object.
string(FIND "${map}" "\nDiscarded input sections" members_end)
string(SUBSTRING "${map}" 0 ${members_end} members)
string(REGEX MATCHALL "\n/[^\n(]+\\([^\n)]+\\)" taken "${members}")
string(REGEX MATCHALL "LOAD /[^\n]+\\.o\n" loaded "${map}")
foreach(file IN LISTS taken loaded)
  string(REGEX REPLACE "^LOAD |\n" "" file "${file}")
  string(REGEX REPLACE "^.*/|\\(.*" "" name "${file}")
  if(file MATCHES "_a-(.+)\\.o\\)$")
    set(name "/${CMAKE_MATCH_1}.")
  endif()
  string(FIND "${notices}" "${name}" named)
  string(FIND "${failures}" "(${name})" reported)
  if(named EQUAL -1 AND reported EQUAL -1)
    string(APPEND failures "\n  the link took ${file}, which ${NOTICES} does not name (${name})")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "windows.link ${IMAGE}:${failures}")
endif()
