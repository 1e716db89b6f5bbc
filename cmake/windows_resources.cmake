# Windows resources of aesm_test: version information and the application manifest.
# GNU tools embed the manifest through the .rc; MSVC's linker merges it as a .manifest source.

set(AESM_RC_MANIFEST_PATH "${CMAKE_CURRENT_SOURCE_DIR}/driver/aesm_test.manifest")
configure_file(driver/aesm_test.rc.in "${CMAKE_CURRENT_BINARY_DIR}/aesm_test.rc" @ONLY)
set(aesm_rc "${CMAKE_CURRENT_BINARY_DIR}/aesm_test.rc")
target_sources(aesm_test PRIVATE "${aesm_rc}")

if(MSVC)
  target_sources(aesm_test PRIVATE "${AESM_RC_MANIFEST_PATH}")
  # Ours is the only trustInfo: the linker would otherwise add its own.
  target_link_options(aesm_test PRIVATE /MANIFESTUAC:NO)
else()
  set_source_files_properties("${aesm_rc}" PROPERTIES
    COMPILE_DEFINITIONS AESM_RC_MANIFEST
    OBJECT_DEPENDS "${AESM_RC_MANIFEST_PATH}")
endif()
