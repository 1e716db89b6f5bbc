# The static program (the tarball's): its image read off, and the program.* cases run against it
# under bubblewrap here (Debian 12), in an empty root and in a Debian 11 root.
add_test(NAME hardening.aesm_test_static
         COMMAND ${CMAKE_COMMAND} -DREADELF=${CMAKE_READELF} -DOBJDUMP=${CMAKE_OBJDUMP} -DSTATIC=ON
                 -DPROGRAM=$<TARGET_FILE:aesm_test> -P ${CMAKE_CURRENT_SOURCE_DIR}/check_elf.cmake)

find_path(GTEST_INCLUDE gtest/gtest.h)
find_program(BWRAP bwrap)
find_program(MMDEBSTRAP mmdebstrap)
if(NOT GTEST_INCLUDE OR NOT BWRAP OR NOT MMDEBSTRAP)
  add_skipped_test(static.program "needs libgtest-dev bubblewrap mmdebstrap")
  return()
endif()
# GoogleTest and libstdc++ are glibc's: program_test comes from a host build of this source.
include(ExternalProject)
set(host "${CMAKE_CURRENT_BINARY_DIR}/host")
ExternalProject_Add(host_program_test SOURCE_DIR ${PROJECT_SOURCE_DIR} BINARY_DIR ${host}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${host} --target program_test BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# Made once, at build time, in the build tree. As root mmdebstrap mounts in the root it makes:
# in a mount namespace of its own; anyone else's runs in user namespaces.
set(bullseye "${CMAKE_CURRENT_BINARY_DIR}/bullseye")
add_custom_command(OUTPUT ${bullseye}/etc/debian_version
  COMMAND sh -c [[rm -rf "$1"; [ "$(id -u)" != 0 ] || u="unshare -m"; $u mmdebstrap -q --variant=essential bullseye "$1"]]
          sh ${bullseye}
  VERBATIM)
add_custom_target(debian11_root ALL DEPENDS ${bullseye}/etc/debian_version)

function(add_root_test name root)
  add_test(NAME static.program.${name} COMMAND ${host}/tests/program_test --gtest_filter=program.*)
  set_tests_properties(static.program.${name} PROPERTIES TIMEOUT 120
    ENVIRONMENT "AESM_TEST_PROGRAM=${CMAKE_CURRENT_SOURCE_DIR}/in_root.sh;AESM_ROOT=${root};AESM_ROOT_PROGRAM=$<TARGET_FILE:aesm_test>")
endfunction()
add_root_test(debian12 /)
add_root_test(empty_root "")
add_root_test(debian11_root ${bullseye})
