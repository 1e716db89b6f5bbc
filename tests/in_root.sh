#!/bin/sh
# The program AESM_ROOT_PROGRAM, with its arguments, under bubblewrap in the root AESM_ROOT (a
# folder, read-only; empty: an empty root), the working directory served as its socket's folder.
folder=$(pwd -P)
if [ -n "$AESM_ROOT" ]; then
    exec bwrap --ro-bind "$AESM_ROOT" / --dev /dev --tmpfs /run --bind "$folder" /run/aesmd \
        --ro-bind "$AESM_ROOT_PROGRAM" /run/aesm_test --chdir / /run/aesm_test "$@"
fi
exec bwrap --dev /dev --symlink /run /var/run --bind "$folder" /run/aesmd \
    --ro-bind "$AESM_ROOT_PROGRAM" /run/aesm_test --chdir / /run/aesm_test "$@"
