#!/usr/bin/env bash
# The release, in build/release/: the Debian source package, the packages dpkg-buildpackage builds
# from it (running the native suite), the Linux tarball, the Windows zip and SHA256SUMS, beside the
# build's records (.buildinfo, .changes), which are not reproducible. All of it comes from one
# source, the commit checked out or a published .dsc; its version and date are debian/changelog's.
# Signs with the owners' keys: AESM_GPG_KEY; AESM_SIGN_CERT, AESM_SIGN_KEY, AESM_SIGN_TIMESTAMP_URL.
# Usage: packaging/release.sh [aesm-test_<version>.dsc]   (it needs what test.sh installs)
set -euo pipefail
shopt -s extglob
dsc=${1:+$(realpath -- "$1")}
cd "$(dirname "${BASH_SOURCE[0]}")/.."
umask 022 # dpkg-buildpackage's own, here for everything the script writes besides
export LC_ALL=C.UTF-8
# The tools it runs, each with the Debian package that brings it, checked before anything is built
# (dpkg-buildpackage checks debian/control's Build-Depends itself).
missing=() git=git:git
[[ -z $dsc ]] || git=
for need in dpkg-buildpackage:dpkg-dev cmake:cmake ninja:ninja-build \
            x86_64-w64-mingw32-g++:g++-mingw-w64-x86-64-win32 musl-gcc:musl-tools zip:zip \
            strip-nondeterminism:strip-nondeterminism $git \
            ${AESM_GPG_KEY:+gpg:gnupg} ${AESM_SIGN_CERT:+osslsigncode:osslsigncode}; do
    command -v "${need%%:*}" >/dev/null || missing+=("${need%%:*} (package ${need#*:})")
done
if ((${#missing[@]})); then
    echo "release.sh: missing ${missing[*]}" >&2
    exit 1
fi
if [[ -n ${AESM_SIGN_CERT:-}${AESM_SIGN_KEY:-} ]]; then
    : "${AESM_SIGN_CERT:?goes with AESM_SIGN_KEY}" "${AESM_SIGN_KEY:?goes with AESM_SIGN_CERT}"
fi
if [[ -z $dsc ]] && { ! changes=$(git status --porcelain) || [[ -n $changes ]]; }; then
    echo "release.sh: a release is built from one commit, and this checkout has none or has" \
         "uncommitted changes; commit them, or give a published .dsc to rebuild:" >&2
    echo "$changes" >&2
    exit 1
fi

out=$PWD/build/release stage=$PWD/build/release-stage tree=$PWD/build/release-stage/source
rm -rf "$out" "$stage"
mkdir -p "$out" "$stage"
if [[ -n $dsc ]]; then
    dpkg-source -x "$dsc" "$tree"
    cp "$dsc" "${dsc%.dsc}.debian.tar.xz" "$stage/"
else
    mkdir "$tree" && git -c tar.umask=0022 archive HEAD | tar -C "$tree" -xf -
fi
version=$(dpkg-parsechangelog -l "$tree/debian/changelog" -SVersion) upstream=${version%-*}
# Every package's date, whatever the caller's environment says, as a rebuild from the source
# package alone takes it.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$tree/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
# The upstream source: everything but debian/, which the source package carries apart. Modes as
# git has them, whatever the caller's tar.umask.
[[ -n $dsc ]] ||
    git -c tar.umask=0022 archive --prefix="aesm_test-$upstream/" HEAD -- . ':!debian' |
    gzip -9n >"$stage/aesm-test_$upstream.orig.tar.gz"

# A rebuild from a .dsc builds the packages alone: the source package it publishes is the one given.
sign=${AESM_GPG_KEY:+--sign-key=$AESM_GPG_KEY}
(cd "$tree" && dpkg-buildpackage -J ${dsc:+--build=binary} "${sign:---no-sign}")

# The Linux tarball: the static preset's program (the one its suite runs), its man page and
# documents.
linux=aesm_test-$upstream-linux-x86_64 windows=aesm_test-$upstream-windows-x86_64
(cd "$tree" && cmake --preset static -DAESM_BUILD_TESTS=OFF -DAESM_MAN_PAGE=ON >/dev/null &&
    cmake --build --preset static >/dev/null)
cmake --install "$tree/build/static" --prefix "$stage/$linux" >/dev/null
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
    --format=gnu -cf - "$linux" | gzip -9n >"$out/$linux.tar.gz"

# The Windows zip, its exe signed before it is packed, at the release's date: without a time
# stamp, the same key signs the same exe to the same bytes.
(cd "$tree" && cmake --preset release-windows >/dev/null && cmake --build --preset release-windows)
cmake --install "$tree/build/release-windows" --prefix "$stage/$windows" >/dev/null
exe=$stage/$windows/aesm_test.exe
if [[ -n ${AESM_SIGN_CERT:-} ]]; then
    osslsigncode sign -certs "$AESM_SIGN_CERT" -key "$AESM_SIGN_KEY" -n aesm_test -h sha256 \
        -time "$SOURCE_DATE_EPOCH" ${AESM_SIGN_TIMESTAMP_URL:+-ts "$AESM_SIGN_TIMESTAMP_URL"} \
        -in "$exe" -out "$exe.signed" >/dev/null
    chmod --reference="$exe" "$exe.signed" && mv "$exe.signed" "$exe"
fi
(cd "$stage" && zip -q -X -9 -r "$out/$windows.zip" "$windows")
# The members' times (zip's are local) and their order, whatever the time zone and file system.
strip-nondeterminism -t zip -T "$SOURCE_DATE_EPOCH" "$out/$windows.zip" >/dev/null

mv "$stage"/aesm-test[-_]* "$out/"
(cd "$out" && sha256sum -- !(*.buildinfo|*.changes) >SHA256SUMS)
[[ -z ${AESM_GPG_KEY:-} ]] ||
    gpg --batch --yes --local-user "$AESM_GPG_KEY" --armor --detach-sign "$out/SHA256SUMS"
rm -rf "$stage"
echo "release.sh: $out"
