#!/usr/bin/env bash
# The release's checks. packaging/release.sh runs three times on the working tree committed: signed
# with throwaway keys in a folder with a space and a non-ASCII letter, as nobody when run as root;
# from that release's .dsc alone, unsigned, elsewhere, as this user, with umask 077, another time
# zone and clock and no SOURCE_DATE_EPOCH; and by reprotest, which varies the rest.
# Usage: tests/release/check.sh   (AESM_TEST_INSTALL=1 lets it install the .deb on this machine)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
unset SOURCE_DATE_EPOCH # the release's date is debian/changelog's
export LC_ALL=C.UTF-8
work=$(mktemp -d)
tree="$work/a tree ü" keys=$work/keys
trap 'gpgconf --kill gpg-agent; rm -rf "$work"' EXIT
skip() { echo "skipped: $*"; exit 77; } # checks run in subshells
# A command whose output is shown only when it fails.
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; return 1; }; }
exec 3>&1                                # notes beside a check's result

mkdir "$work/source" "$keys"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - |
    tar -C "$work/source" -xf -
(cd "$work/source" && git init -q && git add -A &&
    git -c user.name=check -c user.email=check@example.invalid commit -qm "the working tree")
cp -a "$work/source" "$tree"

# Throwaway keys, and another of each: an OpenPGP key and a code-signing certificate.
export GNUPGHOME=$keys/gnupg && mkdir -m 700 "$GNUPGHOME"
for name in release other; do
    gpg --batch --passphrase '' --quick-gen-key "$name <$name@example.invalid>" ed25519 sign never \
        2>/dev/null && gpg --export "$name@example.invalid" >"$keys/$name.gpg"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/$name.key" -out "$keys/$name.pem" \
        -days 2 -subj "/CN=aesm_test $name" -addext extendedKeyUsage=codeSigning 2>/dev/null
done
gpgconf --kill gpg-agent # the builder starts its own
as_builder=()
if ((EUID == 0)); then
    chmod go+rx "$work" && chown -R nobody:nogroup "$tree" "$keys"
    as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)
fi
quiet "${as_builder[@]}" env GNUPGHOME="$GNUPGHOME" AESM_GPG_KEY=release@example.invalid \
    AESM_SIGN_CERT="$keys/release.pem" AESM_SIGN_KEY="$keys/release.key" \
    "$tree/packaging/release.sh"
release=$work/signed rebuilt=$work/source/build/release
cp -a "$tree/build/release" "$release"
(cd "$work/source" && umask 077 &&
    quiet env TZ=Pacific/Kiritimati faketime '+400 days' packaging/release.sh "$release"/*.dsc)
# The published files (SHA256SUMS and what it lists), as reprotest takes the rebuild's.
published=(SHA256SUMS $(cut -c 67- "$rebuilt/SHA256SUMS"))
mkdir -p "$work/control/source-root/build/release"
(cd "$rebuilt" && cp -t "$work/control/source-root/build/release" "${published[@]}")

# The unsigned rebuild from the source package gives the signed release's unsigned files.
rebuilds_from_source() {
    ((EUID == 0)) || echo "    not varied: the building user (needs root)" >&3
    for file in "$release"/*.deb "$release"/*.tar.*; do cmp "$file" "$rebuilt/${file##*/}"; done
}

# A second build from the commit, varied in path, time, time zone, locale, umask, file order and
# kernel personality, gives the rebuild's bytes; diffoscope shows any difference.
reproducible() {
    reprotest --vary=-user_group --store-dir "$work/store" --control-build "$work/control" \
        -s "$work/source" packaging/release.sh "${published[*]/#/build/release/}" \
        >"$work/reprotest.log" 2>&1 && return 0
    grep -A 40 -m 1 '^--- ' "$work/reprotest.log" || tail -n 20 "$work/reprotest.log"
    return 1
}

# SHA256SUMS names every published file but the build's records; its signature holds for the
# release's key alone and for these contents alone; the .dsc and .changes are signed.
signatures() {
    cd "$release"
    listed=$(cut -c 67- SHA256SUMS)
    [[ $listed == "$(ls | grep -vE '\.(buildinfo|changes|asc)$|^SHA256SUMS$')" ]] ||
        echo "SHA256SUMS lists: $listed"
    sqv --keyring "$keys/release.gpg" SHA256SUMS.asc SHA256SUMS >/dev/null
    for signed in "SHA256SUMS.asc SHA256SUMS" *.dsc *.changes; do
        gpgv --keyring "$keys/release.gpg" $signed 2>/dev/null
    done
    ! gpgv --keyring "$keys/other.gpg" SHA256SUMS.asc SHA256SUMS 2>/dev/null ||
        echo "SHA256SUMS.asc verifies with another key"
    ! sed 1d SHA256SUMS | gpgv --keyring "$keys/release.gpg" SHA256SUMS.asc - 2>/dev/null ||
        echo "SHA256SUMS.asc verifies a changed SHA256SUMS"
}

# Refused, saying why, while the checkout has a change not committed.
refuses_uncommitted() {
    echo >>"$tree/README.md"
    said=$("${as_builder[@]}" "$tree/packaging/release.sh" 2>&1) && echo "it built a release"
    [[ $said == "release.sh: a release is built from one commit, "* ]] || echo "$said"
}

# lintian prints no tag but the classification tags, which show it read the source, the program
# and its debug symbols.
lintian_clean() {
    lintian -E -I --pedantic -L +classification "$release"/*.changes >"$work/tags" 2>"$work/log" ||
        { cat "$work/log"; return 1; }
    grep -v '^C: ' "$work/tags" || true
    for what in "aesm-test source" aesm-test aesm-test-dbgsym; do
        grep -q "^C: $what: " "$work/tags" || echo "lintian read no $what"
    done
}

# The packaged program (the tarball's too) through the process rows, with the service's socket
# served where the packaged man page says the program looks for it.
linux_program() {
    cmake --preset native >/dev/null
    cmake --build --preset native --target program_test >/dev/null
    dpkg-deb -x "$release"/aesm-test_*_amd64.deb "$work/deb"
    tar -C "$work" -xzf "$release"/aesm_test-*-linux-x86_64.tar.gz
    program=$work/deb/usr/bin/aesm_test
    cmp "$program" "$work"/aesm_test-*-linux-x86_64/bin/aesm_test
    socket=$(man -l "$work"/deb/usr/share/man/man1/aesm_test.1.gz | sed -n '/^FILES$/{n;s/ *//p;q}')
    [[ $socket == /* ]] || { echo "the man page names no socket under FILES"; return 1; }
    quiet unshare -rm sh -c 'mount -t tmpfs tmpfs "${1%/*/*}" && mkdir "${1%/*}" && shift && "$@"' \
        sh "$socket" env AESM_TEST_PROGRAM="$program" AESM_TEST_SOCKET="$socket" \
        ctest --preset native -R '^program\.'
}

# The zip's exe: signed for the release's certificate alone; without its signature the rebuild's
# exe and the windows preset's, whose suite it passed; signed, a skip, a failure and a pass of the
# Wine cases with the servers' logs.
windows_program() {
    cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
    unzip -q "$release"/aesm_test-*-windows-x86_64.zip -d "$work/zip"
    exe=$(echo "$work"/zip/*/aesm_test.exe)
    quiet osslsigncode verify -CAfile "$keys/release.pem" -in "$exe"
    ! osslsigncode verify -CAfile "$keys/other.pem" -in "$exe" >/dev/null 2>&1 ||
        echo "the exe verifies against another certificate"
    osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" >/dev/null
    unzip -p "$rebuilt"/*.zip '*/aesm_test.exe' | cmp - "$work/unsigned.exe"
    cmp build/windows/aesm_test.exe "$work/unsigned.exe"
    quiet env AESM_TEST_PROGRAM="$exe" ctest --preset windows \
        -R '^wine\.(skipped_in_simulation|fails_service_refusing|passes_service)$'
}

# dpkg -i, the program, its man page found, and dpkg -r.
deb_install() {
    [[ ${AESM_TEST_INSTALL:-} == 1 ]] ||
        skip "installs the .deb on this machine only with AESM_TEST_INSTALL=1 (CI sets it)"
    ((EUID == 0)) || skip "dpkg -i needs root"
    state=$(dpkg-query -W -f='${db:Status-Status}' aesm-test 2>/dev/null) || true
    [[ -z $state || $state == not-installed ]] || skip "aesm-test is already installed here"
    dpkg -i "$release"/aesm-test_*_amd64.deb >/dev/null
    (VELM_SIMULATION=1 aesm_test >/dev/null; (($? == 2))) || echo "aesm_test did not skip"
    [[ $(man -w aesm_test) == /usr/share/man/man1/aesm_test.1.gz ]] || echo "man finds no page"
    dpkg -r aesm-test >/dev/null
}

# The MSVC branch configures and builds from the first build's folder (where the release built
# the others).
spaced_path_clang_cl() {
    quiet "${as_builder[@]}" sh -c 'cd "$1" && cmake --preset "$2" && cmake --build --preset "$2"' \
        sh "$tree" windows-clang-cl
}

declare -A count=([passed]=0 [failed]=0 [skipped]=0)
for check in rebuilds_from_source reproducible signatures refuses_uncommitted lintian_clean \
             linux_program windows_program deb_install spaced_path_clang_cl; do
    $check >"$work/said" 2>&1 & # in the background, so that set -e holds inside the check
    status=0 && wait $! || status=$?
    said=$(<"$work/said")
    result=failed # also when it says anything: a check that passes says nothing
    ((status == 77)) && result=skipped
    ((status == 0)) && [[ -z $said ]] && result=passed
    count[$result]=$((count[$result] + 1))
    echo "release.$check: $result"
    [[ -z $said ]] || sed 's/^/    /' <<<"$said"
done
echo "release: ${count[passed]} passed, ${count[failed]} failed, ${count[skipped]} skipped"
((count[failed] == 0))
