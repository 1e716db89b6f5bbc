# The static program (the tarball's): its image read off, and the program.* cases run against it
# under bubblewrap in an empty root.
add_test(NAME hardening.aesm_test_static
         COMMAND ${CMAKE_COMMAND} -DREADELF=${CMAKE_READELF} -DOBJDUMP=${CMAKE_OBJDUMP} -DSTATIC=ON
                 -DPROGRAM=$<TARGET_FILE:aesm_test> -P ${CMAKE_CURRENT_SOURCE_DIR}/check_elf.cmake)

find_path(GTEST_INCLUDE gtest/gtest.h)
find_program(BWRAP bwrap)
if(NOT GTEST_INCLUDE OR NOT BWRAP)
  add_skipped_test(static.program "needs libgtest-dev bubblewrap")
  return()
endif()
# GoogleTest and libstdc++ are glibc's: program_test comes from a host build of this source.
include(ExternalProject)
set(host "${CMAKE_CURRENT_BINARY_DIR}/host")
ExternalProject_Add(host_program_test SOURCE_DIR ${PROJECT_SOURCE_DIR} BINARY_DIR ${host}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${host} --target program_test BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# In an empty root, the program reads nothing of the machine's: it runs so on any Linux.
add_test(NAME static.program.empty_root COMMAND ${host}/tests/program_test --gtest_filter=program.*)
set_tests_properties(static.program.empty_root PROPERTIES TIMEOUT 120 ENVIRONMENT
  "AESM_TEST_PROGRAM=${CMAKE_CURRENT_SOURCE_DIR}/in_root.sh;AESM_ROOT_PROGRAM=$<TARGET_FILE:aesm_test>")
