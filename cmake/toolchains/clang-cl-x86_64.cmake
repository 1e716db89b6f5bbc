# Cross toolchain for Windows x86-64 with clang in MSVC mode (LLVM 18 or later: clang-cl, lld-link,
# llvm-lib, llvm-rc), against Wine's Windows and C-runtime headers and mingw-w64's import
# libraries. It builds the project's MSVC branch as Visual Studio would; what Visual Studio brings
# and this machine lacks stands in from clang-cl/ beside this file. Programs run under Wine's
# 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# The machine's default LLVM (Debian: clang-tools, lld, llvm), whose tools carry no version in
# their names only where the distribution links them so: each is looked for beside llvm-rc's
# real path first, so that all four come from one LLVM.
find_program(AESM_LLVM_RC NAMES llvm-rc NO_CACHE)
set(aesm_llvm_bin "")
if(AESM_LLVM_RC)
  file(REAL_PATH "${AESM_LLVM_RC}" aesm_llvm_bin)
  get_filename_component(aesm_llvm_bin "${aesm_llvm_bin}" DIRECTORY)
endif()
foreach(tool clang-cl lld-link llvm-lib llvm-rc)
  string(TOUPPER "AESM_${tool}" var)
  string(REPLACE "-" "_" var "${var}")
  find_program(${var} NAMES ${tool} HINTS "${aesm_llvm_bin}" NO_CACHE)
  if(NOT ${var})
    message(FATAL_ERROR "${tool} not found (Debian: clang-tools lld llvm)")
  endif()
endforeach()
# lld-link takes /DEPENDENTLOADFLAG, which the hardening sets, from LLVM 18 on.
execute_process(COMMAND "${AESM_LLD_LINK}" --version OUTPUT_VARIABLE aesm_lld_version)
if(NOT aesm_lld_version MATCHES "LLD ([0-9]+)\\." OR CMAKE_MATCH_1 LESS 18)
  string(STRIP "${aesm_lld_version}" aesm_lld_version)
  message(FATAL_ERROR "Not buildable here: the MSVC branch needs LLVM 18 or later, for lld-link's "
                      "/DEPENDENTLOADFLAG; ${AESM_LLD_LINK} is \"${aesm_lld_version}\"")
endif()
set(CMAKE_C_COMPILER "${AESM_CLANG_CL}")
set(CMAKE_CXX_COMPILER "${AESM_CLANG_CL}")
set(CMAKE_RC_COMPILER "${AESM_LLVM_RC}")
set(CMAKE_LINKER "${AESM_LLD_LINK}")
set(CMAKE_AR "${AESM_LLVM_LIB}")

# No debug runtime here (no ucrtd.lib, no debug startup): refused now rather than at link time.
# CMake's MSVC rules make Debug of an empty build type.
if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel|RelWithDebInfo)$"
   OR "Debug" IN_LIST CMAKE_CONFIGURATION_TYPES)
  message(FATAL_ERROR "The clang-cl toolchain builds Release, MinSizeRel or RelWithDebInfo only "
                      "(CMAKE_BUILD_TYPE): there is no debug C runtime here")
endif()
set(CMAKE_TRY_COMPILE_CONFIGURATION Release)
# The startup of clang-cl/crt stands in for the static one (/MT, libcmt.lib) only.
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)

# The Windows SDK and the C runtime's headers: Wine's, with clang-cl/include in front for their gaps.
set(AESM_CLANG_CL_DIR "${CMAKE_CURRENT_LIST_DIR}/clang-cl")
set(AESM_WINE_INCLUDE /usr/include/wine/wine)
set(aesm_includes "${AESM_CLANG_CL_DIR}/include" "${AESM_WINE_INCLUDE}/msvcrt"
                  "${AESM_WINE_INCLUDE}/windows")
set(AESM_CLANG_CL_INCLUDES "")
set(aesm_cl_includes "")
set(aesm_rc_includes "")
foreach(dir IN LISTS aesm_includes)
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "${dir} not found (Debian: libwine-dev, which wine64-tools pulls in)")
  endif()
  list(APPEND AESM_CLANG_CL_INCLUDES /imsvc "${dir}")
  string(APPEND aesm_cl_includes " /imsvc \"${dir}\"")
  string(APPEND aesm_rc_includes " /I \"${dir}\"")
endforeach()
set(CMAKE_C_FLAGS_INIT "${aesm_cl_includes}")
set(CMAKE_CXX_FLAGS_INIT "${aesm_cl_includes}")
set(CMAKE_RC_FLAGS_INIT "${aesm_rc_includes}")

# The libraries Visual Studio would link: import libraries under their MSVC names, and the startup
# in place of libcmt.lib. Made once per build tree; try_compile projects use the build's own.
if(NOT AESM_CLANG_CL_LIB_DIR)
  set(AESM_CLANG_CL_LIB_DIR "${CMAKE_BINARY_DIR}/clang-cl-lib")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AESM_CLANG_CL_LIB_DIR)
include("${AESM_CLANG_CL_DIR}/libraries.cmake")
# oldnames.lib, which /MT objects name too, maps POSIX names (strdup, ...) onto the runtime's: none
# is used here, and lld-link would stop at a default library it cannot find.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "/LIBPATH:\"${AESM_CLANG_CL_LIB_DIR}\" /NODEFAULTLIB:oldnames.lib")
endforeach()

# Links with lld-link itself, which embeds the manifest (see clang-cl/rules.cmake).
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${AESM_CLANG_CL_DIR}/rules.cmake")

# Test programs run under Wine; the tests give it a private WINEPREFIX.
find_program(AESM_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_CACHE)
if(AESM_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${AESM_WINE_LOADER}")
endif()
