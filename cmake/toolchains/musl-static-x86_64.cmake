# Static-pie Linux x86-64 programs against musl (Debian's musl-tools): GCC with musl's headers
# and libraries in place of glibc's and without the C++ library's headers, so the program runs
# on any x86-64 Linux, with no dynamic loader and no libraries. musl has no _FORTIFY_SOURCE.
set(AESM_MUSL_STATIC ON)
set(AESM_MUSL_LIB_DIR /usr/lib/x86_64-linux-musl)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# musl-gcc.specs links a dynamic program: Scrt1.o, musl's loader named, and a link spec that
# replaces GCC's, -static-pie's part included. A copy made in each build tree starts from rcrt1.o,
# which relocates the program itself, and gives -static-pie its part back in place of the loader.
set(AESM_MUSL_SPECS "${CMAKE_BINARY_DIR}/musl-static-pie.specs")
if(NOT EXISTS "${AESM_MUSL_SPECS}")
  if(NOT EXISTS ${AESM_MUSL_LIB_DIR}/musl-gcc.specs)
    message(FATAL_ERROR "musl-gcc.specs not found (Debian: musl-tools)")
  endif()
  file(READ ${AESM_MUSL_LIB_DIR}/musl-gcc.specs aesm_specs)
  string(REGEX REPLACE "-dynamic-linker [^ ]+ " "%{static-pie:-static -pie --no-dynamic-linker -z text} "
                       aesm_static_specs "${aesm_specs}")
  string(REPLACE "/Scrt1.o" "/rcrt1.o" aesm_static_specs "${aesm_static_specs}")
  if(aesm_static_specs STREQUAL aesm_specs OR NOT aesm_static_specs MATCHES "rcrt1.o"
     OR aesm_static_specs MATCHES " -dynamic-linker")
    message(FATAL_ERROR "musl-gcc.specs is not the one this toolchain knows (Debian's musl-tools)")
  endif()
  file(WRITE "${AESM_MUSL_SPECS}" "${aesm_static_specs}")
endif()

set(CMAKE_C_FLAGS_INIT "-specs=\"${AESM_MUSL_SPECS}\"")
set(CMAKE_CXX_FLAGS_INIT "-specs=\"${AESM_MUSL_SPECS}\" -nostdinc++")
# Linked by the C driver: g++'s would add libstdc++ (glibc's), and the program needs none of it.
# -static-pie after the link options, as a later -pie would make the program dynamic. The symbols
# stay (the hardening check reads the canary's callers by name); musl's start file's debug
# information goes.
set(CMAKE_CXX_LINK_EXECUTABLE "<CMAKE_C_COMPILER> <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> \
-static-pie -Wl,--strip-debug <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
