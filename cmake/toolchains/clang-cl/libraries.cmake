# The libraries Visual Studio would bring, made in AESM_CLANG_CL_LIB_DIR from what this machine has:
# mingw-w64's import libraries under their MSVC names, and crt/ built as libcmt.lib, the startup
# that /MT objects name.

# The Universal CRT, CMake's default libraries for MSVC, and rpcrt4 for marshalling.
set(AESM_CLANG_CL_IMPORT_LIBS ucrt kernel32 user32 gdi32 winspool shell32 ole32 oleaut32 uuid
                              comdlg32 advapi32 rpcrt4)
set(AESM_MINGW_LIB_DIR /usr/x86_64-w64-mingw32/lib)

file(MAKE_DIRECTORY "${AESM_CLANG_CL_LIB_DIR}")
foreach(lib IN LISTS AESM_CLANG_CL_IMPORT_LIBS)
  set(mingw_lib "${AESM_MINGW_LIB_DIR}/lib${lib}.a")
  if(NOT EXISTS "${mingw_lib}")
    message(FATAL_ERROR "${mingw_lib} not found (Debian: mingw-w64-x86-64-dev)")
  endif()
  if(NOT EXISTS "${AESM_CLANG_CL_LIB_DIR}/${lib}.lib")
    file(CREATE_LINK "${mingw_lib}" "${AESM_CLANG_CL_LIB_DIR}/${lib}.lib" SYMBOLIC)
  endif()
endforeach()

# Built again when a source is newer than the library; a change to one reruns the configuration,
# and relinks every image (see below).
set(crt_dir "${CMAKE_CURRENT_LIST_DIR}/crt")
set(crt_sources dll_main.c dll_startup.c exe_startup.c guard.c initializers.c load_config.c
                security_cookie.c)
list(TRANSFORM crt_sources PREPEND "${crt_dir}/")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${crt_sources} "${crt_dir}/startup.h")
set(libcmt "${AESM_CLANG_CL_LIB_DIR}/libcmt.lib")
set(crt_stale FALSE)
foreach(source IN LISTS crt_sources ITEMS "${crt_dir}/startup.h")
  if(NOT EXISTS "${libcmt}" OR "${source}" IS_NEWER_THAN "${libcmt}")
    set(crt_stale TRUE)
  endif()
endforeach()
if(crt_stale)
  # /GS- for the code that sets and checks the cookie itself; /Zl: no default libraries named.
  set(objects_dir "${AESM_CLANG_CL_LIB_DIR}/crt/")
  file(MAKE_DIRECTORY "${objects_dir}")
  execute_process(
    COMMAND "${AESM_CLANG_CL}" /nologo /c /O1 /GS- /Zl /MT /W4 /WX /guard:cf ${AESM_CLANG_CL_INCLUDES}
            "/Fo${objects_dir}" -- ${crt_sources}
    COMMAND_ERROR_IS_FATAL ANY)
  set(objects ${crt_sources})
  list(TRANSFORM objects REPLACE "^.*/([^/]+)\\.c$" "${objects_dir}\\1.obj")
  execute_process(COMMAND "${AESM_LLVM_LIB}" /nologo "/out:${libcmt}" ${objects}
                  COMMAND_ERROR_IS_FATAL ANY)
endif()

# Images name the startup only as a default library, which the build does not see: every program
# and DLL of the build depends on it by name, so that a change to crt/ relinks them.
function(aesm_clang_cl_link_depends dir libcmt)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
      set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${libcmt}")
    endif()
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    aesm_clang_cl_link_depends("${subdir}" "${libcmt}")
  endforeach()
endfunction()
# This file is read again with every language enabled: one call is enough.
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" GET_CALL_IDS calls)
if(NOT "aesm_clang_cl_link_depends" IN_LIST calls)
  cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" ID aesm_clang_cl_link_depends
                 CALL aesm_clang_cl_link_depends "${CMAKE_SOURCE_DIR}" "${libcmt}")
endif()
