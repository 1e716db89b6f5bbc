# Reads the mingw-w64 program's link map and image (cmake -P; MAP, IMAGE, OBJDUMP, NOTICES): the
# program's own code that takes a local's address checks a stack canary, and every file from
# outside the build that the link took is named in the notices shipped beside the program.
cmake_minimum_required(VERSION 3.25)
file(READ "${MAP}" map)
file(READ "${NOTICES}" notices)
set(failures "")

if(NOT map MATCHES "\n +0x0*([0-9a-f]+) +__stack_chk_fail\n")
  message(FATAL_ERROR "windows.link: ${MAP} has no __stack_chk_fail: no code checks a canary")
endif()
set(check_failed "0x${CMAKE_MATCH_1}")
# The build's own code: each object's code sections, which the map names by a path relative to
# the build. An object that takes a local's address (an lea off the stack pointer) calls
# __stack_chk_fail, as only a canary's check does.
string(FIND "${map}" "\nLinker script and memory map" layout_start)
string(SUBSTRING "${map}" ${layout_start} -1 layout)
string(REGEX MATCHALL "\n \\.text[^ \n]*[ \n]+0x[0-9a-f]+ +0x[0-9a-f]+ [^/ \n][^\n]*" own "${layout}")
set(addressing 0)
foreach(section IN LISTS own)
  string(REGEX MATCH "0x([0-9a-f]+) +0x([0-9a-f]+) ([^\n]+)" _ "${section}")
  set(object "${CMAKE_MATCH_3}")
  math(EXPR end "0x${CMAKE_MATCH_1} + 0x${CMAKE_MATCH_2}" OUTPUT_FORMAT HEXADECIMAL)
  execute_process(COMMAND ${OBJDUMP} -d --start-address=0x${CMAKE_MATCH_1} --stop-address=${end}
                          "${IMAGE}" OUTPUT_VARIABLE code)
  if(code MATCHES "\tleaq?\t[^\n]*\\(%rsp\\)")
    math(EXPR addressing "${addressing} + 1")
    if(NOT code MATCHES "\tcallq?\t${check_failed} ")
      string(APPEND failures "\n  ${object} takes a local's address and checks no stack canary")
    endif()
  endif()
endforeach()
if(addressing EQUAL 0)
  string(APPEND failures "\n  no code of the program's own takes a local's address: ${MAP} misread")
endif()

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
