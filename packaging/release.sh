#!/usr/bin/env bash
# The release: builds the Linux and Windows programs and writes, in build/release/,
# aesm-test_<version>_amd64.deb, aesm_test-<version>-linux-x86_64.tar.gz,
# aesm_test-<version>-windows-x86_64.zip and SHA256SUMS. The same commit and toolchain give the
# same bytes wherever, whenever and by whomever built: every date is SOURCE_DATE_EPOCH (by default
# the last commit's time), every owner root, every list sorted, every mode set here.
# Needs cmake, ninja, g++, mingw-w64, scdoc, dpkg-dev, strip-nondeterminism and zip.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    # Only this checkout's own history: an export unpacked in another repository has none.
    if [[ ! -e .git ]] || ! SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
        echo "release.sh: no SOURCE_DATE_EPOCH, and no git history to take the last commit's" \
             "time from: set it to the release's time in seconds since 1970" >&2
        exit 1
    fi
fi
export SOURCE_DATE_EPOCH LC_ALL=C.UTF-8

version=$(sed -n 's/^project(aesm_test VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [[ $(grep -m 1 '^## ' CHANGELOG.md) != "## $version - "* ]]; then
    echo "release.sh: CHANGELOG.md's first entry is not $version, the version in CMakeLists.txt" >&2
    exit 1
fi

for preset in release-linux release-windows; do
    cmake --preset "$preset" --fresh >/dev/null
    cmake --build --preset "$preset"
done

out=$PWD/build/release stage=$PWD/build/release-stage
linux=aesm_test-$version-linux-x86_64 windows=aesm_test-$version-windows-x86_64
deb=$stage/deb doc=$stage/deb/usr/share/doc/aesm-test
rm -rf "$out" "$stage"
mkdir -p "$out" "$doc" "$deb/DEBIAN"
cmake --install build/release-linux --prefix "$stage/$linux" >/dev/null
cmake --install build/release-linux --prefix "$deb/usr" --component program >/dev/null
cmake --install build/release-windows --prefix "$stage/$windows" >/dev/null
# Stripped afterwards, as ELF has no time stamp to renew; .comment is the toolchain's versions.
strip --remove-section=.comment --remove-section=.note "$stage/$linux/bin/aesm_test" \
      "$deb/usr/bin/aesm_test"

# The Debian package: the program and its man page, the copyright and a changelog made from the
# licence and CHANGELOG.md.
gzip -9n "$deb/usr/share/man/man1/aesm_test.1"
maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control)
awk -v maintainer="$maintainer" '
    function close_entry() {
        if (!version) return
        command = "date -u -R -d " date; command | getline when; close(command)
        printf "\n -- %s  %s\n", maintainer, when
    }
    /^## / { close_entry(); if (version) print ""; version = $2; date = $4
             printf "aesm-test (%s) unstable; urgency=medium\n\n", version; next }
    version && /^- / { print "  * " substr($0, 3); next }
    version && /^  / { print "  " $0 }
    END { close_entry() }' CHANGELOG.md | gzip -9n >"$doc/changelog.gz"
{
    printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
    printf 'Upstream-Name: aesm_test\n\nFiles: *\nCopyright: %s\nLicense: Expat\n' \
           "$(sed -n 's/^Copyright (c) //p' LICENSE)"
    awk 'text { print ($0 == "" ? " ." : " " $0) } /^Copyright/ { getline; text = 1 }' LICENSE
} >"$doc/copyright"
# dpkg-shlibdeps runs in a source package: a minimal one for it to read.
mkdir "$stage/shlibdeps" "$stage/shlibdeps/debian"
printf 'Source: aesm-test\n\nPackage: aesm-test\nArchitecture: amd64\n' \
       >"$stage/shlibdeps/debian/control"
depends=$(cd "$stage/shlibdeps" && dpkg-shlibdeps -O "$deb/usr/bin/aesm_test")
# Installed-Size as dpkg-gencontrol counts it (KiB per file), not as this file system stores it.
size=$(find "$deb/usr" -type f -printf '%s\n' |
       awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" \
    -e "s/@DEPENDS@/${depends#shlibs:Depends=}/" packaging/debian/control >"$deb/DEBIAN/control"
(cd "$deb" && find usr -type f | sort | xargs -d '\n' md5sum) >"$deb/DEBIAN/md5sums"

# Modes and times as the packages should carry them, whatever the umask and clock.
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/aesm-test_${version}_amd64.deb" >/dev/null
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
    --format=gnu -cf - "$linux" | gzip -9n >"$out/$linux.tar.gz"
(cd "$stage" && zip -q -X -9 -r "$out/$windows.zip" "$windows")
# The members' times (zip's are local) and their order, whatever the time zone and file system.
strip-nondeterminism -t zip -T "$SOURCE_DATE_EPOCH" "$out/$windows.zip" >/dev/null
(cd "$out" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
rm -rf "$stage"
echo "release.sh: $out"
