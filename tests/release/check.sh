#!/usr/bin/env bash
# The release's checks. packaging/release.sh runs three times on the working tree, committed in a
# repository of its own: signed with throwaway keys, in a folder with a space and a non-ASCII
# letter (as user nobody when this runs as root); from that release's .dsc alone, unsigned, in
# another folder, as this user, with umask 077, another time zone and clock and no
# SOURCE_DATE_EPOCH; and by reprotest, which varies the rest. Then the packages themselves.
# Usage: tests/release/check.sh   (AESM_TEST_INSTALL=1 lets it install the .deb on this machine)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
unset SOURCE_DATE_EPOCH # the release's date is debian/changelog's
work=$(mktemp -d)
trap 'gpgconf --kill gpg-agent; rm -rf "$work"' EXIT
skip() { echo "skipped: $*"; exit 77; } # checks run in subshells
exec 3>&1                                # notes beside a check's result

mkdir "$work/source" "$work/keys"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - |
    tar -C "$work/source" -xf -
date="$(dpkg-parsechangelog -STimestamp) +0000"
(cd "$work/source" && git init -q && git add -A &&
    GIT_AUTHOR_NAME=check GIT_AUTHOR_EMAIL=check@example.invalid GIT_AUTHOR_DATE=$date \
    GIT_COMMITTER_NAME=check GIT_COMMITTER_EMAIL=check@example.invalid GIT_COMMITTER_DATE=$date \
    git commit -q -m "the working tree")
tree="$work/a tree ü" rebuild=$work/rebuild
control=$work/control/source-root/build/release # the rebuild's, as reprotest takes it
published='SHA256SUMS *.dsc *.tar.* *.deb *.zip' # all but the build's records
cp -a "$work/source" "$tree"
cp -a "$work/source" "$rebuild"

# Throwaway keys: an OpenPGP key, a code-signing certificate, and another of each.
export GNUPGHOME=$work/keys/gnupg
mkdir -m 700 "$GNUPGHOME"
for name in release other; do
    gpg --batch --quiet --passphrase '' --quick-gen-key "$name (throwaway) <$name@example.invalid>" \
        ed25519 sign never 2>/dev/null
    gpg --export "$name@example.invalid" >"$work/keys/$name.gpg"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/keys/$name.key" \
        -out "$work/keys/$name.pem" -days 2 -subj "/CN=aesm_test $name (throwaway)" \
        -addext extendedKeyUsage=codeSigning 2>/dev/null
done
gpgconf --kill gpg-agent # the builder starts its own
signing=(GNUPGHOME="$GNUPGHOME" AESM_GPG_KEY=release@example.invalid
         AESM_SIGN_CERT="$work/keys/release.pem" AESM_SIGN_KEY="$work/keys/release.key")
as_builder=()
if ((EUID == 0)); then
    chmod go+rx "$work" && chown -R nobody:nogroup "$tree" "$work/keys"
    as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)
fi
"${as_builder[@]}" env "${signing[@]}" "$tree/packaging/release.sh" >"$work/signed.log" 2>&1 ||
    { cat "$work/signed.log"; exit 1; }
release=$work/signed
cp -a "$tree/build/release" "$release"
(cd "$rebuild" && umask 077 && TZ=Pacific/Kiritimati faketime '+400 days' \
    packaging/release.sh "$release"/*.dsc) >"$work/rebuild.log" 2>&1 ||
    { cat "$work/rebuild.log"; exit 1; }
rebuilt=$rebuild/build/release
mkdir -p "$control" && (cd "$rebuilt" && cp -t "$control" $published)

# The unsigned rebuild from the source package gives the signed release's unsigned files.
rebuilds_from_source() {
    ((EUID == 0)) || echo "    not varied: the building user (needs root)" >&3
    local file
    for file in "$release"/*.deb "$release"/*.tar.*; do
        cmp "$file" "$rebuilt/${file##*/}"
    done
}

# A second build from the commit, varied in path, time, time zone, locale, umask, file order and
# kernel personality, gives the rebuild's bytes; diffoscope shows any difference.
reproducible() {
    reprotest --vary=-user_group --store-dir "$work/store" --control-build "$work/control" \
        -s "$work/source" packaging/release.sh "build/release/${published// / build/release/}" \
        >"$work/reprotest.log" 2>&1 && return 0
    grep -A 40 -m 1 '^--- ' "$work/reprotest.log" || tail -n 20 "$work/reprotest.log"
    return 1
}

# SHA256SUMS names every published file but the build's records, and its signature holds for
# the release's key alone and for these contents alone, as do the .dsc's and the .changes'.
signatures() {
    local listed files file
    listed=$(cut -d ' ' -f 3- "$release/SHA256SUMS" | sort)
    files=$(cd "$release" && ls -1 | grep -vxE '.*\.(buildinfo|changes)|SHA256SUMS(\.asc)?')
    [[ $listed == "$files" ]] || echo "SHA256SUMS lists $listed; published: $files"
    sqv --keyring "$work/keys/release.gpg" "$release/SHA256SUMS.asc" "$release/SHA256SUMS" >/dev/null
    for file in "$release"/*.dsc "$release"/*.changes; do
        gpgv --keyring "$work/keys/release.gpg" "$file" 2>/dev/null
    done
    ! sqv --keyring "$work/keys/other.gpg" "$release/SHA256SUMS.asc" "$release/SHA256SUMS" \
        2>/dev/null || echo "SHA256SUMS.asc verifies with another key"
    { cat "$release/SHA256SUMS" && echo; } >"$work/SHA256SUMS"
    ! sqv --keyring "$work/keys/release.gpg" "$release/SHA256SUMS.asc" "$work/SHA256SUMS" \
        2>/dev/null || echo "SHA256SUMS.asc verifies a changed SHA256SUMS"
}

# Refused while the checkout has a change not committed, before anything is built or removed.
refuses_uncommitted() {
    local said
    echo >>"$tree/README.md"
    said=$("${as_builder[@]}" "$tree/packaging/release.sh" 2>&1) && echo "it built a release"
    [[ $said == "release.sh: a release is built from one commit, "* ]] || echo "$said"
    [[ -e $tree/build/release/SHA256SUMS ]] || echo "the last release was removed"
}

# lintian prints no tag but the classification tags, which show it read the source, the program
# and its debug symbols.
lintian_clean() {
    local said what
    said=$(lintian -E -I --pedantic -L +classification "$release"/*.changes 2>"$work/lintian.err") ||
        { cat "$work/lintian.err"; return 1; }
    grep -v '^C: ' <<<"$said" || true
    for what in "aesm-test source" aesm-test aesm-test-dbgsym; do
        grep -q "^C: $what: " <<<"$said" || echo "lintian read no $what"
    done
}

# The packaged programs through the process rows, with the service's socket served where the
# man page says the program looks for it; their hardening read off them.
linux_program() {
    local socket program
    cmake --preset native >/dev/null
    cmake --build --preset native --target program_test >/dev/null
    dpkg-deb -x "$release"/aesm-test_*_amd64.deb "$work/deb"
    tar -C "$work" -xzf "$release"/aesm_test-*-linux-x86_64.tar.gz
    socket=$(man -l "$work/deb/usr/share/man/man1/aesm_test.1.gz" | sed -n '/^FILES$/{n;s/^ *//p;q}')
    [[ $socket == /* ]] || { echo "the man page names no socket under FILES"; return 1; }
    for program in "$work"/{deb/usr,aesm_test-*-linux-x86_64}/bin/aesm_test; do
        unshare -rm sh -c 'mount -t tmpfs tmpfs "${1%/*/*}" && mkdir "${1%/*}" && shift && "$@"' \
            sh "$socket" env AESM_TEST_PROGRAM="$program" AESM_TEST_SOCKET="$socket" \
            ctest --preset native -R '^program\.' >"$work/linux.log" 2>&1 ||
            { echo "$program:"; cat "$work/linux.log"; return 1; }
        cmake -DREADELF=readelf -DPROGRAM="$program" -P tests/check_elf.cmake
    done
}

# The zip's exe: signed for the release's certificate alone, the rebuild's exe without its
# signature; its image; a skip, a failure and a pass of the Wine cases with the servers' logs.
windows_program() {
    local exe
    cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
    unzip -q "$release"/aesm_test-*-windows-x86_64.zip -d "$work/zip"
    exe=$(echo "$work"/zip/*/aesm_test.exe)
    osslsigncode verify -CAfile "$work/keys/release.pem" -in "$exe" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; return 1; }
    ! osslsigncode verify -CAfile "$work/keys/other.pem" -in "$exe" >/dev/null 2>&1 ||
        echo "the exe verifies against another certificate"
    osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" >/dev/null
    unzip -p "$rebuilt"/aesm_test-*-windows-x86_64.zip '*/aesm_test.exe' | cmp - "$work/unsigned.exe"
    cmake -DREADOBJ=llvm-readobj-14 -DOBJDUMP=llvm-objdump-14 -DIMAGE="$exe" -DMSVC_BUILD=OFF \
          -P tests/wine/check_image.cmake
    AESM_TEST_PROGRAM="$exe" ctest --preset windows \
        -R '^wine\.(skipped_in_simulation|fails_service_refusing|passes_service)$' \
        >"$work/wine.log" 2>&1 || { cat "$work/wine.log"; return 1; }
}

# dpkg -i, the program, its man page found, and dpkg -r leaving none of the package's files.
deb_install() {
    [[ ${AESM_TEST_INSTALL:-} == 1 ]] ||
        skip "installs the .deb on this machine only with AESM_TEST_INSTALL=1 (CI sets it)"
    ((EUID == 0)) || skip "dpkg -i needs root"
    local state files status=0
    state=$(dpkg-query -W -f='${db:Status-Status}' aesm-test 2>/dev/null) || true
    [[ -z $state || $state == not-installed ]] || skip "aesm-test is already installed here"
    dpkg -i "$release"/aesm-test_*_amd64.deb >/dev/null
    files=$(dpkg-query -L aesm-test)
    VELM_SIMULATION=1 aesm_test >/dev/null || status=$?
    ((status == 2)) || echo "aesm_test did not skip"
    [[ $(man -w aesm_test) == /usr/share/man/man1/aesm_test.1.gz ]] || echo "man finds no page"
    dpkg -r aesm-test >/dev/null
    while read -r file; do
        [[ ! -e $file || -d $file && $file != */aesm-test ]] || echo "dpkg -r left $file"
    done <<<"$files"
}

# The MSVC branch configures and builds from a path with a space and a non-ASCII letter (the
# release has built the others there).
spaced_path() {
    "${as_builder[@]}" sh -c 'cd "$1" && cmake --preset "$2" && cmake --build --preset "$2"' \
        sh "$tree" "$1" >"$work/path.log" 2>&1 || { tail -n 20 "$work/path.log"; return 1; }
}

declare -A count=([passed]=0 [failed]=0 [skipped]=0)
for check in rebuilds_from_source reproducible signatures refuses_uncommitted lintian_clean \
             linux_program windows_program deb_install "spaced_path windows-clang-cl"; do
    # In the background, so that set -e holds inside the check.
    $check >"$work/said" 2>&1 &
    status=0
    wait $! || status=$?
    said=$(<"$work/said")
    result=failed # also when it says anything: a check that passes says nothing
    ((status == 77)) && result=skipped
    ((status == 0)) && [[ -z $said ]] && result=passed
    count[$result]=$((count[$result] + 1))
    echo "release.${check/ /.}: $result"
    [[ -z $said ]] || sed 's/^/    /' <<<"$said"
done
echo "release: ${count[passed]} passed, ${count[failed]} failed, ${count[skipped]} skipped"
((count[failed] == 0))
