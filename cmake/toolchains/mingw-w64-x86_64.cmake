# Cross toolchain for Windows x86-64 with Debian's mingw-w64 (win32 threads), linking the
# Universal CRT instead of msvcrt.dll; programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(AESM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${AESM_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${AESM_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${AESM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${AESM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12's driver links msvcrt by default, whose import library lacks the UCRT's extensions
# (_dupenv_s). A copy of its specs with the UCRT in its place is made in each build tree,
# try_compile projects included, so every link of the project sees the same runtime.
set(AESM_MINGW_SPECS "${CMAKE_BINARY_DIR}/mingw-ucrt.specs")
if(NOT EXISTS "${AESM_MINGW_SPECS}")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpspecs
                  OUTPUT_VARIABLE aesm_specs RESULT_VARIABLE aesm_specs_result)
  if(NOT aesm_specs_result EQUAL 0 OR NOT aesm_specs MATCHES "-lmsvcrt")
    message(FATAL_ERROR "${CMAKE_C_COMPILER} -dumpspecs gave no specs naming -lmsvcrt")
  endif()
  string(REPLACE "-lmsvcrt" "-lucrt" aesm_specs "${aesm_specs}")
  file(WRITE "${AESM_MINGW_SPECS}" "${aesm_specs}")
endif()

# __USE_MINGW_ANSI_STDIO=0 keeps printf the runtime's: mingw's own, with its float formatter,
# would otherwise be linked into every C++ program.
set(aesm_crt_flags
    "-specs=\"${AESM_MINGW_SPECS}\" -D_UCRT -D__MSVCRT_VERSION__=0xE00 -D__USE_MINGW_ANSI_STDIO=0")
set(CMAKE_C_FLAGS_INIT "${aesm_crt_flags}")
set(CMAKE_CXX_FLAGS_INIT "${aesm_crt_flags}")

# Test programs run under Wine; the tests give it a private WINEPREFIX.
find_program(AESM_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_CACHE)
if(AESM_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${AESM_WINE_LOADER}")
endif()
