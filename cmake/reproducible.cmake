# Builds that do not depend on where or when they run: no build folder in the objects, no link
# time in the images. Release packaging also sets SOURCE_DATE_EPOCH, which GCC and GNU ld follow.
if(MSVC)
  add_compile_options(/Brepro)
  add_link_options(/Brepro)
else()
  # GCC takes the last map that matches: the build folder's, which lies in the source folder.
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
                      "-ffile-prefix-map=${PROJECT_BINARY_DIR}=.")
  if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
endif()
