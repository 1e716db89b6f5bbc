# Windows resources: the application manifest, which every program of the project carries, and
# aesm_test's version information, both of the project's version.
configure_file(driver/aesm_test.manifest.in "${PROJECT_BINARY_DIR}/aesm_test.manifest" @ONLY)

# MSVC's linker merges the manifest from a .manifest source; GNU tools embed it through a
# resource script (type 24, RT_MANIFEST; id 1, a process's own).
function(aesm_embed_manifest target)
  set(manifest "${PROJECT_BINARY_DIR}/aesm_test.manifest")
  if(MSVC)
    target_sources(${target} PRIVATE "${manifest}")
    # Ours is the only trustInfo: the linker would otherwise add its own.
    target_link_options(${target} PRIVATE /MANIFESTUAC:NO)
  else()
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest.rc")
    file(WRITE "${rc}" "1 24 \"${manifest}\"\n")
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${manifest}")
  endif()
endfunction()

aesm_embed_manifest(aesm_test)
configure_file(driver/aesm_test.rc.in "${CMAKE_CURRENT_BINARY_DIR}/aesm_test.rc" @ONLY)
target_sources(aesm_test PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/aesm_test.rc")
