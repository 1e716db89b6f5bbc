# Helpers shared by the Wine suite's scripts (cmake -P): the private prefix's environment, Wine
# commands with their output kept in a file, paths as Wine's Windows side sees them, and the
# service's identifiers.

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} "-all")
# Wine turns Unix paths into Windows ones in the locale's character set: a folder with a
# non-ASCII letter needs UTF-8, whatever the caller's locale (a new machine has none).
set(ENV{LC_ALL} "C.UTF-8")
# Without this Wine offers to install its .NET and HTML engines when the prefix is made.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
# Headless, whatever the desktop: nothing here needs a window.
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

# Ends the prefix's Wine session: every process in it, and the server, which saves the registry
# as it exits.
function(end_wineserver)
  execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${WINESERVER} -w OUTPUT_QUIET ERROR_QUIET TIMEOUT 20)
endfunction()

# One of Wine's own tools, which must succeed; its output is kept in the prefix's logs. Wine's
# streams go to files, here and wherever the suite runs Wine, not to pipes: Wine's own processes
# started by a command inherit its handles and would hold a pipe open long after it ended.
function(run_wine name)
  set(log "${PREFIX}.${name}.log")
  execute_process(COMMAND ${WINE} ${ARGN} OUTPUT_FILE "${log}" ERROR_FILE "${log}.err"
                  RESULT_VARIABLE result TIMEOUT 60)
  if(NOT result EQUAL 0)
    file(READ "${log}" out)
    file(READ "${log}.err" err)
    message(FATAL_ERROR "${name}: wine ${ARGN} gave ${result}\n${out}${err}")
  endif()
endfunction()

# The prefix maps Z: to the Unix root.
function(windows_path out path)
  string(REPLACE "/" "\\" path "Z:${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# A string value for a .reg file: backslashes and quotes escaped.
function(reg_string out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

# Written in UTF-16 (with its byte-order mark), as regedit reads paths outside ASCII right only
# from such a file: a REGEDIT4 file is read in the ANSI code page.
function(import_reg name content)
  set(file "${PREFIX}.${name}.reg")
  file(WRITE "${file}.utf-8" "Windows Registry Editor Version 5.00\n\n${content}")
  execute_process(COMMAND iconv -f UTF-8 -t UTF-16 INPUT_FILE "${file}.utf-8" OUTPUT_FILE "${file}"
                  COMMAND_ERROR_IS_FATAL ANY)
  windows_path(file "${file}")
  run_wine(${name} regedit /s "${file}")
endfunction()

# The class's and its interface's identifiers, as the suite's IDL gives them to its servers.
file(READ "${CMAKE_CURRENT_LIST_DIR}/aesm_service.idl" idl)
foreach(kind IN ITEMS coclass interface)
  if(NOT idl MATCHES "uuid\\(([0-9A-F-]+)\\)[^\n]*\n${kind} ")
    message(FATAL_ERROR "aesm_service.idl declares no ${kind} with its uuid")
  endif()
  set(wine_${kind} "{${CMAKE_MATCH_1}}")
endforeach()
set(WINE_CLSID "${wine_coclass}")
set(WINE_IID "${wine_interface}")
set(WINE_APPID "${WINE_CLSID}")
set(WINE_SERVICE_NAME "AesmTestServer")
