# Helpers shared by the Wine suite's scripts (cmake -P): the private prefix's environment, Wine
# commands with their output kept in a file, and paths as Wine's Windows side sees them.

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} "-all")
# Without this Wine offers to install its .NET and HTML engines when the prefix is made.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
# Headless, whatever the desktop: nothing here needs a window.
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

# Output goes to files, not pipes: Wine's own processes started by a command inherit its
# handles and would hold a pipe open long after the command ended.
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

set(WINE_CLSID "{82367CAB-F2B9-461A-B6C6-889D13EFC6CA}")
set(WINE_IID "{50AFD900-F309-4557-8FCB-10CFAB802CDD}")
set(WINE_APPID "${WINE_CLSID}")
set(WINE_SERVICE_NAME "AesmTestServer")
