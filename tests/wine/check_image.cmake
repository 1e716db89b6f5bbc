# Reads the built program's PE image with llvm-readobj and llvm-objdump (cmake -P, READOBJ,
# OBJDUMP, IMAGE, MSVC_BUILD, VERSION): the
# imports (system DLLs only, the Universal CRT among them), what a Windows release gate reads off
# an image, and the embedded manifest and version resource. MSVC_BUILD: linked by the MSVC branch,
# whose linker adds control-flow guard's flags and table, CET and DependentLoadFlags. The load
# config's pointers are the startup's (here a stand-in's), not the linker's: only the dispatch
# pointer's address is taken, to find the indirect calls the compiler guarded.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../binary_checks.cmake)
execute_process(COMMAND ${READOBJ} --file-headers --sections --coff-imports --coff-load-config
                        --coff-debug-directory --coff-resources "${IMAGE}"
                OUTPUT_VARIABLE image RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${READOBJ} ${IMAGE} gave ${result}")
endif()
set(failures "")

string(REGEX MATCHALL "\nImport {\n  Name: [^\n]+" imports "${image}")
string(REGEX REPLACE "\nImport {\n  Name: " "" imports "${imports}")
# ADVAPI32: GCC's libssp, in the mingw-w64 build, seeds the stack canary through CryptGenRandom.
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower MATCHES "^(api-ms-win-crt-[a-z0-9-]+|kernel32|ole32|advapi32)\\.dll$")
    string(APPEND failures "\n  imports ${dll}, not on the allow-list \
(api-ms-win-crt-*, KERNEL32, ole32, ADVAPI32)")
  endif()
endforeach()
if(NOT "api-ms-win-crt-runtime-l1-1-0.dll" IN_LIST imports)
  string(APPEND failures "\n  imports not the Universal CRT; imports: ${imports}")
endif()

# What every build carries, then what the MSVC branch adds: pairs of what and a regex over
# llvm-readobj's output.
set(checks
  "ASLR (DYNAMIC_BASE)" "\n +IMAGE_DLL_CHARACTERISTICS_DYNAMIC_BASE "
  "base relocations, without which ASLR leaves the image in place"
  "\n    BaseRelocationTableSize: 0x0*[1-9A-F]"
  "high-entropy ASLR (HIGH_ENTROPY_VA)" "\n +IMAGE_DLL_CHARACTERISTICS_HIGH_ENTROPY_VA "
  "an image base above 4 GB" "\n  ImageBase: 0x0*[1-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]\
[0-9A-F][0-9A-F][0-9A-F][0-9A-F]\n"
  "DEP (NX_COMPAT)" "\n +IMAGE_DLL_CHARACTERISTICS_NX_COMPAT "
  "TERMINAL_SERVER_AWARE" "\n +IMAGE_DLL_CHARACTERISTICS_TERMINAL_SERVER_AWARE "
  "a manifest resource" "\n  Type: MANIFEST \\(ID 24\\)"
  "a version resource" "\n  Type: VERSIONINFO \\(ID 16\\)")
if(MSVC_BUILD)
  list(APPEND checks
    "control-flow guard (GUARD_CF)" "\n +IMAGE_DLL_CHARACTERISTICS_GUARD_CF "
    "GuardFlags CF_INSTRUMENTED and CF_FUNCTION_TABLE_PRESENT (0x500)"
    "\n  GuardFlags[^\n0-9]*0x[0-9A-F]*[57DF][0-9A-F][0-9A-F][\n)]"
    "a guard function table" "\n  GuardCFFunctionCount: [1-9]"
    "CET shadow-stack compatibility (CET_COMPAT)" "\n +IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT "
    "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32" "\n  DependentLoadFlags: 0x800\n")
endif()
require_matches("${image}" ${checks})

# No section both writable and executable, or writable and shared between processes.
string(REGEX MATCHALL "\n  Section {\n[^}]+" sections "${image}")
foreach(section IN LISTS sections)
  string(REGEX MATCH "Name: ([^ ]+)" name "${section}")
  set(name "${CMAKE_MATCH_1}")
  if(section MATCHES "IMAGE_SCN_MEM_WRITE" AND section MATCHES "IMAGE_SCN_MEM_(EXECUTE|SHARED)")
    string(APPEND failures "\n  section ${name} is writable and ${CMAKE_MATCH_1}")
  endif()
endforeach()

# Code compiled with /guard:cf calls through the dispatch pointer; code without it calls straight
# through its own, whatever the linker's flags say.
if(MSVC_BUILD)
  string(REGEX MATCH "\n  GuardCFCheckDispatch: (0x[0-9A-F]+)" dispatch "${image}")
  string(TOLOWER "${CMAKE_MATCH_1}" dispatch)
  execute_process(COMMAND ${OBJDUMP} -d "${IMAGE}" OUTPUT_VARIABLE code RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT code MATCHES "\tcallq\t\\*[^\n]+# ${dispatch}\n")
    string(APPEND failures "\n  no indirect call goes through the guard's dispatch (${dispatch})")
  endif()
endif()

# VERSION, where given: the project's, which the manifest names too.
if(VERSION)
  file(STRINGS "${IMAGE}" identity REGEX "<assemblyIdentity [^>]*name=\"aesm_test\"")
  if(NOT identity MATCHES " version=\"${VERSION}\\.0\"")
    string(APPEND failures "\n  the embedded manifest is not of version ${VERSION}.0: ${identity}")
  endif()
endif()
file(STRINGS "${IMAGE}" execution_level REGEX "requestedExecutionLevel level=\"asInvoker\"")
if(NOT execution_level)
  string(APPEND failures "\n  the embedded manifest does not ask for level=\"asInvoker\"")
endif()
# Without it the runtime's narrow environment is best-fit folded through the ANSI code page.
file(STRINGS "${IMAGE}" code_page REGEX "<activeCodePage xmlns=\"http://schemas\\.microsoft\\.com/\
SMI/2019/WindowsSettings\">UTF-8</activeCodePage>")
if(NOT code_page)
  string(APPEND failures "\n  the embedded manifest does not declare activeCodePage UTF-8")
endif()

if(failures)
  message(FATAL_ERROR "windows.image ${IMAGE}:${failures}")
endif()
