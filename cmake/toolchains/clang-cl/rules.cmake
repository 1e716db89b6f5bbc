# Link rules of the clang-cl toolchain, read after CMake's own for MSVC. They stand in for
# `cmake -E vs_link_exe` and `vs_link_dll`, which have mt.exe embed the manifest: llvm-mt in its
# place takes a Unix path for an option, or ignores the output resource and exits 0, and the image
# silently has no manifest. link.cmake has lld-link embed it instead. Read once per language, for
# the rules set so far.
foreach(lang C CXX)
  foreach(rule LINK_EXECUTABLE CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
    set(rule CMAKE_${lang}_${rule})
    if(NOT ${rule} OR ${rule} MATCHES "/link\\.cmake\" ")
      continue()
    endif()
    string(REGEX REPLACE "^<CMAKE_COMMAND> -E vs_link_(exe|dll) .* --manifests <MANIFESTS> -- "
           "<CMAKE_COMMAND> -P \"${CMAKE_CURRENT_LIST_DIR}/link.cmake\" <MANIFESTS> -- "
           replaced "${${rule}}")
    if(replaced STREQUAL "${${rule}}")
      message(FATAL_ERROR "${rule} does not start with CMake's vs_link step: ${${rule}}")
    endif()
    set(${rule} "${replaced}")
  endforeach()
endforeach()
