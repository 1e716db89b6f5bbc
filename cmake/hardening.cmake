# Hardening distributions expect of a program that runs unattended, often as a privileged user.
# The Windows equivalents (ASLR, high-entropy VA, DEP) are set where the program is linked.
if(WIN32)
  return()
endif()

# Position-independent executables; -fPIE rather than CMake's -fPIC for the static libraries,
# which would leave the program needing the dynamic loader's TLS helper.
add_compile_options(-fPIE -fstack-protector-strong -fstack-clash-protection -fcf-protection)
add_link_options(-pie -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)

if(AESM_SANITIZE)
  set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${sanitize})
  add_link_options(${sanitize})
else()
  # Fortified calls need the optimiser; the sanitizers check the same calls their own way.
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
