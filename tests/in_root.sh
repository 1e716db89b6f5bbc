#!/bin/sh
# AESM_ROOT_PROGRAM under bubblewrap in an empty root, the working directory bound where the
# program finds its socket.
exec bwrap --dev /dev --tmpfs /run --bind "$(pwd -P)" /var/run/aesmd \
    --ro-bind "$AESM_ROOT_PROGRAM" /run/aesm_test --chdir / /run/aesm_test "$@"
