# Shared by the scripts that read a built binary's properties off a tool's output (cmake -P).

# For each pair of what and regex in ARGN that text does not match, appends "lacks <what>" to
# the caller's failures.
function(require_matches text)
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs what regex)
    if(NOT text MATCHES "${regex}")
      string(APPEND failures "\n  lacks ${what}")
    endif()
  endwhile()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
