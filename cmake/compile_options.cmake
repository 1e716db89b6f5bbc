# Warnings, language subset and linking shared by every target of the project.

if(MSVC)
  add_compile_options(/W4 /WX /GR- /permissive-)
  add_compile_definitions(_HAS_EXCEPTIONS=0)
  string(REGEX REPLACE "/EH[a-z]+" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
else()
  add_compile_options(-Wall -Wextra -Werror
                      "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti>")
endif()

# The program itself needs no C++ runtime: only the C runtime and, on Windows, ole32.
function(aesm_program_link_options target)
  if(MSVC)
    return()
  elseif(WIN32)
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++)
  else()
    target_link_options(${target} PRIVATE -Wl,--as-needed)
  endif()
endfunction()
