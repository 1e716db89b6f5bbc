# Reads the built program's PE headers with objdump (cmake -P, OBJDUMP, IMAGE, SECURITY_COOKIE):
# only system DLLs imported, the Universal CRT among them; ASLR with high entropy and DEP on; with
# SECURITY_COOKIE a load-config directory; a manifest and a version resource embedded.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p "${IMAGE}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${IMAGE} gave ${result}")
endif()
set(failures "")

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
string(REPLACE "DLL Name: " "" imports "${imports}")
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower MATCHES "^(api-ms-win-crt-[a-z0-9-]+|kernel32|ole32)\\.dll$")
    string(APPEND failures
           "\n  imports ${dll}, not on the allow-list (api-ms-win-crt-*, KERNEL32, ole32)")
  endif()
endforeach()
if(NOT "api-ms-win-crt-runtime-l1-1-0.dll" IN_LIST imports)
  string(APPEND failures "\n  imports not the Universal CRT; imports: ${imports}")
endif()

string(REGEX MATCH "DllCharacteristics[^\n]*\n(\t+[A-Z_]+\n)*" characteristics "${headers}")
foreach(bit DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT)
  if(NOT characteristics MATCHES "\t${bit}\n")
    string(APPEND failures "\n  DllCharacteristics lacks ${bit}; got: ${characteristics}")
  endif()
endforeach()

# Code built by MSVC's rules checks stack cookies (/GS); the loader gives the cookie a random value
# through the load-config directory.
if(SECURITY_COOKIE AND headers MATCHES "\nEntry a 0+ 0+ Load Configuration Directory")
  string(APPEND failures "\n  no load-config directory: the /GS cookie keeps its default value")
endif()

# Top-level entries of the resource directory are types: 24 RT_MANIFEST, 16 RT_VERSION.
foreach(type "0x000018;RT_MANIFEST" "0x000010;RT_VERSION")
  list(GET type 0 id)
  list(GET type 1 type_name)
  if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: ${id},")
    string(APPEND failures "\n  no ${type_name} resource")
  endif()
endforeach()
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
