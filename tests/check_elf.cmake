# Reads the hardening and the runtime dependencies off a built ELF program by their effects, so
# that a build change cannot drop them: a dynamic program's hardening by devscripts'
# hardening-check (but control-flow protection, docs/hardening.md; and in a Debug build, fortified
# calls). Usage: cmake -DREADELF= -DPROGRAM= [-DHARDENING_CHECK= -DDEBUG=0|1] -P check_elf.cmake
set(ENV{LC_ALL} C) # the tools' output as parsed here and by hardening-check, in any locale
execute_process(COMMAND ${READELF} -W -h -l -d --dyn-syms ${PROGRAM}
                OUTPUT_VARIABLE elf RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf ${PROGRAM} gave ${rc}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/binary_checks.cmake)
set(failures "")
# Which hardening-check does not read.
require_matches("${elf}" "non-executable stack" "\n +GNU_STACK[^\n]* RW  ")

if(STATIC)
  # -DSTATIC=ON -DOBJDUMP=...: static-pie, no interpreter and no library. The program's own code
  # is the image's only C++; musl's C calls __stack_chk_fail too, so the canary is a C++ caller's.
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${PROGRAM} OUTPUT_VARIABLE code)
  require_matches("${elf}"
    "position-independent executable" "Type: +DYN "
    "read-only relocations (GNU_RELRO)" "\n +GNU_RELRO "
    "immediate binding (BIND_NOW)" "\\(FLAGS\\)[^\n]*BIND_NOW")
  require_matches("${code}" "stack protector (a C++ function calling __stack_chk_fail)"
                  "\n[0-9a-f]+ <_Z[^>]*>:\n([^\n]+\n)*[^\n]*call[^\n]*<__stack_chk_fail>")
  if(elf MATCHES "\n +INTERP |\\(NEEDED\\)")
    string(APPEND failures "\n  has an interpreter or needs a library")
  endif()
else()
  # Control-flow protection: x86-64's (CET), and arm64's (branch protection), which newer
  # hardening-checks read on every architecture.
  set(options --nocfprotection)
  execute_process(COMMAND ${HARDENING_CHECK} --help OUTPUT_VARIABLE help)
  if(help MATCHES "--nobranchprotection")
    list(APPEND options --nobranchprotection)
  endif()
  if(DEBUG)
    list(APPEND options --nofortify)
  endif()
  execute_process(COMMAND ${HARDENING_CHECK} ${options} ${PROGRAM}
                  OUTPUT_VARIABLE report ERROR_VARIABLE report RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    string(APPEND failures "\n  hardening-check gave ${rc}:\n${report}")
  endif()
endif()

# Only the C runtime: no C++ runtime, no compiler support library.
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${elf}")
foreach(library IN LISTS needed)
  if(NOT library MATCHES "\\[(libc\\.so\\.6|ld-linux-x86-64\\.so\\.2)\\]")
    string(APPEND failures "\n  needs ${library}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${PROGRAM}:${failures}")
endif()
