# Reads the hardening and the runtime dependencies off a built ELF program, so that a build change
# cannot drop them. Usage: cmake -DREADELF=... -DPROGRAM=... [-DFORTIFY=ON] [-DSANITIZE=ON] -P check_elf.cmake
function(read_elf out)
  execute_process(COMMAND ${READELF} -W ${ARGN} ${PROGRAM} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf ${ARGN} ${PROGRAM} failed")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")
function(expect what text regex)
  if(NOT text MATCHES "${regex}")
    set(failures "${failures}\n  ${what}" PARENT_SCOPE)
  endif()
endfunction()

read_elf(header -h)
read_elf(segments -l)
read_elf(dynamic -d)
read_elf(symbols --dyn-syms)
read_elf(options -p .GCC.command.line)

expect("position-independent executable" "${header}" "Type: +DYN \\(Position-Independent")
expect("read-only relocations (GNU_RELRO)" "${segments}" "GNU_RELRO")
expect("immediate binding (BIND_NOW)" "${dynamic}" "\\(FLAGS\\)[^\n]*BIND_NOW")
expect("non-executable stack" "${segments}" "GNU_STACK[^\n]* RW  ")
expect("stack protector" "${options}" "-fstack-protector-strong")
expect("stack clash protection" "${options}" "-fstack-clash-protection")
expect("control-flow protection" "${options}" "-fcf-protection")
if(FORTIFY)
  # The macro is in the debug information; fortified calls show where the program makes any.
  read_elf(macros --debug-dump=macro)
  expect("_FORTIFY_SOURCE=2 or 3" "${macros}${symbols}"
         "macro : _FORTIFY_SOURCE [23]\n|__[a-z]+_chk@")
endif()

# Only the C runtime: no C++ runtime, no compiler support library.
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
foreach(library IN LISTS needed)
  if(NOT library MATCHES "\\[(libc\\.so\\.6|ld-linux-x86-64\\.so\\.2)\\]"
     AND NOT (SANITIZE AND library MATCHES "\\[lib(a|ub)san\\.so"))
    set(failures "${failures}\n  no ${library}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${PROGRAM} lacks:${failures}")
endif()
message(STATUS "${PROGRAM}: PIE, RELRO, BIND_NOW, NX stack, stack protector, libc only")
