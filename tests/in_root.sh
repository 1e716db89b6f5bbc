#!/bin/sh
# AESM_ROOT_PROGRAM under bubblewrap in the root AESM_ROOT (read-only, its /var/run being /run;
# empty: an empty root), the working directory bound where the program finds its socket.
folder=/run/aesmd
[ -n "$AESM_ROOT" ] || folder=/var/run/aesmd
exec bwrap ${AESM_ROOT:+--ro-bind "$AESM_ROOT" /} --dev /dev --tmpfs /run --bind "$(pwd -P)" \
    "$folder" --ro-bind "$AESM_ROOT_PROGRAM" /run/aesm_test --chdir / /run/aesm_test "$@"
