# Reads the mingw-w64 program's link map and image (cmake -P; MAP, IMAGE, OBJDUMP, NOTICES): the
# functions that take a local's address check a stack canary, and every file from outside the
# build that the link took is named in the notices shipped beside the program.
cmake_minimum_required(VERSION 3.25)
file(READ "${MAP}" map)
file(READ "${NOTICES}" notices)
set(failures "")

# The map's address of a symbol as llvm-objdump prints addresses.
function(map_address out symbol)
  string(REPLACE "." "\\." pattern "${symbol}")
  if(NOT map MATCHES "\n +0x0*([0-9a-f]+) +${pattern}\n")
    message(FATAL_ERROR "windows.link: ${MAP} has no ${symbol}: no code checks a stack canary")
  endif()
  set(${out} "0x${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
map_address(guard .refptr.__stack_chk_guard)
map_address(check_failed __stack_chk_fail)

# A protected function reads the guard through its pointer on entry and calls __stack_chk_fail
# when its frame's copy has changed. It ends where the map's next line begins.
foreach(function dup_env_value aesm_connection_open)
  if(NOT map MATCHES "\n +0x0*([0-9a-f]+) +${function}\\([^\n]*\n[^\n0]*0x0*([0-9a-f]+)")
    message(FATAL_ERROR "windows.link: ${MAP} has no ${function}")
  endif()
  execute_process(COMMAND ${OBJDUMP} -d --start-address=0x${CMAKE_MATCH_1}
                          --stop-address=0x${CMAKE_MATCH_2} "${IMAGE}"
                  OUTPUT_VARIABLE code RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT code MATCHES "# ${guard}\n" OR NOT code MATCHES
                                                               "\tcallq\t${check_failed} ")
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
set(uncovered "")
foreach(file IN LISTS taken loaded)
  string(STRIP "${file}" file)
  string(REGEX REPLACE "^LOAD " "" file "${file}")
  if(file MATCHES "_a-([^)]+)\\.o\\)$")
    set(name "/${CMAKE_MATCH_1}.")
  else()
    string(REGEX REPLACE "\\(.*" "" name "${file}")
    get_filename_component(name "${name}" NAME)
  endif()
  string(FIND "${notices}" "${name}" at)
  if(at EQUAL -1 AND NOT name IN_LIST uncovered)
    list(APPEND uncovered "${name}")
    string(APPEND failures "\n  the link took ${file}, which ${NOTICES} does not name (${name})")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "windows.link ${IMAGE}:${failures}")
endif()
