# Helpers shared by the Wine suite's scripts (cmake -P): the private prefix's environment, Wine
# commands with their output kept in a file, and paths as Wine's Windows side sees them.

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

# Runs a Windows program under Wine, its streams in files. Output goes to files, not pipes: Wine's
# own processes started by a command inherit its handles and would hold a pipe open long after
# the command ended.
# Now and then Wine fails to start a program at all, each seen once in CI and never here: its
# loader hands it to start.exe, which fails too ("ShellExecuteEx failed: Internal error", with
# regedit), or it cannot load kernel32.dll (status c0000135, the first wineboot of a new prefix).
# The program never ran, so it is run again.
function(wine_execute result_var out err timeout)
  set(not_started "ShellExecuteEx failed|wine: could not load kernel32\\.dll")
  foreach(try 1 2 3)
    execute_process(COMMAND ${WINE} ${ARGN} OUTPUT_FILE "${out}" ERROR_FILE "${err}"
                    RESULT_VARIABLE result TIMEOUT ${timeout})
    file(READ "${out}" said)
    file(READ "${err}" said_err)
    if(result EQUAL 0 OR NOT "${said}${said_err}" MATCHES "${not_started}")
      break()
    endif()
    list(GET ARGN 0 program)
    message(STATUS "Wine did not start ${program}; again")
  endforeach()
  set(${result_var} "${result}" PARENT_SCOPE)
endfunction()

# Ends the prefix's Wine session: every process in it, the servers the cases started among them.
function(end_wineserver)
  execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${WINESERVER} -w OUTPUT_QUIET ERROR_QUIET TIMEOUT 20)
endfunction()

# One of Wine's own tools, which must succeed; its output is kept in the prefix's logs.
function(run_wine name)
  set(log "${PREFIX}.${name}.log")
  wine_execute(result "${log}" "${log}.err" 60 ${ARGN})
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
