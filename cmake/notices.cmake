# The notices installed beside the program: what the toolchain's runtime puts in it, naming the
# versions of GCC and of the C runtime that this toolchain has, read off it here, so that an
# upgrade of either cannot leave them naming another. Made in the build tree as NOTICES.

# The dotted version that the C runtime's headers give in the macros named.
function(aesm_header_version out header)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dM -E -x c -include ${header} /dev/null
                  OUTPUT_VARIABLE macros COMMAND_ERROR_IS_FATAL ANY)
  set(parts "")
  foreach(macro IN LISTS ARGN)
    if(NOT macros MATCHES "\n#define ${macro} ([0-9]+)\n")
      message(FATAL_ERROR "${header} defines no ${macro}, which the notices name")
    endif()
    list(APPEND parts ${CMAKE_MATCH_1})
  endforeach()
  list(JOIN parts . version)
  set(${out} ${version} PARENT_SCOPE)
endfunction()

string(REGEX MATCH "^[0-9]+" AESM_NOTICE_GCC "${CMAKE_C_COMPILER_VERSION}")
if(WIN32)
  set(template windows.txt)
  aesm_header_version(AESM_NOTICE_RUNTIME _mingw.h __MINGW64_VERSION_MAJOR
                      __MINGW64_VERSION_MINOR __MINGW64_VERSION_BUGFIX)
elseif(AESM_MUSL_STATIC)
  # musl's headers carry no version; its loader says it.
  set(template linux-static.txt)
  execute_process(COMMAND ${AESM_MUSL_LIB_DIR}/libc.so ERROR_VARIABLE banner)
  if(NOT banner MATCHES "\nVersion ([0-9.]+)\n")
    message(FATAL_ERROR "${AESM_MUSL_LIB_DIR}/libc.so names no musl version: ${banner}")
  endif()
  set(AESM_NOTICE_RUNTIME ${CMAKE_MATCH_1})
else()
  set(template linux.txt)
  aesm_header_version(AESM_NOTICE_RUNTIME features.h __GLIBC__ __GLIBC_MINOR__)
endif()
set(AESM_NOTICES "${PROJECT_BINARY_DIR}/NOTICES")
configure_file("${PROJECT_SOURCE_DIR}/packaging/notices/${template}" "${AESM_NOTICES}" @ONLY)
