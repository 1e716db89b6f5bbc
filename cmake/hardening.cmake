# Hardening distributions expect of a program that runs unattended, often as a privileged user;
# tests/check_elf.cmake reads each of them off the program, tests/wine/ the Windows image's. The
# rest of the Windows hardening is set where the program is linked. What is left out, and why:
# docs/hardening.md.
if(MSVC)
  # /GS is the compiler's default.
  return()
elseif(WIN32)
  # On every target, DLLs included: -static makes the driver take libssp.a, not libssp-0.dll,
  # which no Windows has; the system DLLs' import libraries are static archives already.
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong -static)
  return()
endif()

# Position-independent executables; -fPIE rather than CMake's -fPIC for the static libraries,
# which would leave the program needing the dynamic loader's TLS helper.
add_compile_options(-fPIE -fstack-protector-strong)
add_link_options(-pie -Wl,-z,relro -Wl,-z,now)

if(AESM_SANITIZE)
  set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${sanitize})
  add_link_options(${sanitize})
else()
  # Fortified calls need the optimiser; the sanitizers check the same calls their own way. With
  # no build type (a project that takes this one in may give none) our code is optimised alone.
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
                      "$<$<CONFIG:>:-O2>")
  string(TOUPPER "${CMAKE_BUILD_TYPE};${CMAKE_CONFIGURATION_TYPES}" aesm_configs)
  if("DEBUG" IN_LIST aesm_configs)
    message(STATUS "aesm_test: its Debug build leaves out _FORTIFY_SOURCE, which needs the "
                   "optimiser; the other build types have it")
  endif()
endif()
