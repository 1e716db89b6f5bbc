# Warnings, language subset and linking shared by every target of the project.

if(MSVC)
  # The C runtime from the system's UCRT, the compiler's own support (vcruntime) linked in:
  # a clean Windows has the first and may lack the second.
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  # /guard:cf: each indirect call is checked against the image's table of call targets.
  add_compile_options(/W4 /WX /GR- /permissive- /guard:cf)
  add_compile_definitions(_HAS_EXCEPTIONS=0)
  string(REGEX REPLACE "/EH[a-z]+" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
else()
  add_compile_options(-Wall -Wextra -Werror
                      "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti>")
endif()

# The program itself needs no C++ runtime: only the C runtime and, on Windows, ole32.
# Windows images: ASLR with a 64-bit address space, DEP, terminal-server aware (MSVC's default);
# with MSVC also control-flow guard, shadow-stack (CET) compatible, and the DLLs it loads taken
# from System32 only (0x800, LOAD_LIBRARY_SEARCH_SYSTEM32).
function(aesm_program_link_options target)
  if(MSVC)
    target_link_options(${target} PRIVATE
      "/NODEFAULTLIB:libucrt$<$<CONFIG:Debug>:d>.lib" "/DEFAULTLIB:ucrt$<$<CONFIG:Debug>:d>.lib"
      /DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT /guard:cf /CETCOMPAT /DEPENDENTLOADFLAG:0x800)
  elseif(WIN32)
    # Release images without the runtime's debug info.
    # The link map records what the image is made of and where; it leaves the image's bytes as
    # they are.
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++
      -Wl,--dynamicbase,--high-entropy-va,--nxcompat,--tsaware
      "-Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${target}.map"
      "$<$<CONFIG:Release,MinSizeRel>:-s>")
  else()
    target_link_options(${target} PRIVATE -Wl,--as-needed)
  endif()
endfunction()
