#!/usr/bin/env bash
# The release's checks, run by CTest from the release-checks preset. `build` makes what they share:
# the working tree committed, and packaging/release.sh run on it signed with throwaway keys, in a
# folder with a space and a non-ASCII letter, as nobody when run as root. Each other command is one
# check on that release; it passes silently, fails saying why, or skips (77) saying why.
# Usage: tests/release/check.sh BUILD_DIR build|CHECK
set -euo pipefail
# The checks' files go in a temporary folder named for the build folder: nobody may not reach
# the build folder (a checkout under /root), and lintian and autopkgtest's unshare backend take
# no path with a space or a non-ASCII letter.
work=${TMPDIR:-/tmp}/aesm_test-release-$(echo "$1" | sha256sum | cut -c 1-16) check=$2
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
unset SOURCE_DATE_EPOCH # the release's date is debian/changelog's
export LC_ALL=C.UTF-8
tree="$work/a tree ü" keys=$work/keys release=$work/signed scratch=$work/$check
export GNUPGHOME=$keys/gnupg
skip() { echo "skipped: $*"; exit 77; }
# A command whose output is shown only when it fails.
quiet() { "$@" >"$scratch.log" 2>&1 || { cat "$scratch.log"; return 1; }; }
as_builder=()
((EUID != 0)) || as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)

build() {
    rm -rf "$work" && mkdir -p "$work/source" "$GNUPGHOME" && chmod 700 "$GNUPGHOME"
    trap 'gpgconf --kill gpg-agent' EXIT
    # The working tree as git would commit it (deleted files gone, untracked ones in), committed
    # in a repository of its own.
    GIT_INDEX_FILE=$work/index git read-tree HEAD
    GIT_INDEX_FILE=$work/index git add -A
    git archive "$(GIT_INDEX_FILE=$work/index git write-tree)" | tar -C "$work/source" -xf -
    (cd "$work/source" && git init -q && git add -A &&
        git -c user.name=check -c user.email=check@example.invalid commit -qm "the working tree")
    cp -a "$work/source" "$tree"

    # Throwaway keys: an OpenPGP key and a code-signing certificate.
    gpg --batch --passphrase '' --quick-gen-key "release <release@example.invalid>" ed25519 sign \
        never 2>/dev/null && gpg --export release@example.invalid >"$keys/release.gpg"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/release.key" -out "$keys/release.pem" \
        -days 2 -subj "/CN=aesm_test release" -addext extendedKeyUsage=codeSigning 2>/dev/null
    gpgconf --kill gpg-agent # the builder starts its own
    if ((EUID == 0)); then
        chmod go+rx "$work" && chown -R nobody:nogroup "$tree" "$keys"
    fi
    "${as_builder[@]}" env GNUPGHOME="$GNUPGHOME" AESM_GPG_KEY=release@example.invalid \
        AESM_SIGN_CERT="$keys/release.pem" AESM_SIGN_KEY="$keys/release.key" \
        "$tree/packaging/release.sh"
    cp -a "$tree/build/release" "$release"
}

# reprotest builds the release again from its .dsc alone, signing the exe with the same key,
# varying path, time, time zone, locale, umask, file order and kernel personality, and gets the
# signed release byte for byte: every published file but the signature of SHA256SUMS.
reproducible() {
    local dsc=${release##*/}/$(cd "$release" && echo *.dsc) built=tree/build/release
    local same control=$scratch/control/source-root
    same=$(cd "$release" && echo *.deb *.tar.?z *.zip *.dsc SHA256SUMS)
    mkdir -p "$control/$built"
    (cd "$release" && cp -t "$control/$built" $same)
    # disorderfs, which varies the file order, mounts: as root, in a mount namespace of its own.
    local ns=()
    ((EUID != 0)) || ns=(unshare -m)
    # Its own copy of the signing key: reprotest builds in a user namespace, where the builder's
    # files are no one's.
    cp "$keys/release.pem" "$keys/release.key" "$scratch/"
    # Its source root holds the release alone: reprotest walks all of it (for the newest mtime)
    # while the other checks write and delete their own files beside.
    mkdir "$scratch/source" && cp -a "$release" "$scratch/source/"
    AESM_SIGN_CERT=$scratch/release.pem AESM_SIGN_KEY=$scratch/release.key "${ns[@]}" reprotest \
        --vary=-user_group --store-dir "$scratch/store" --control-build "$scratch/control" \
        -s "$scratch/source" --source-pattern "${release##*/}" \
        "dpkg-source -x $dsc tree >/dev/null && tree/packaging/release.sh $dsc" \
        "$(printf "$built/%s " $same)" >"$scratch.log" 2>&1 && return 0
    grep -A 40 -m 1 '^--- ' "$scratch.log" || tail -n 20 "$scratch.log"
    return 1
}

# SHA256SUMS names every published file but the build's records; it, the .dsc and the .changes
# carry the release key's signatures.
signatures() {
    cd "$release"
    listed=$(cut -c 67- SHA256SUMS)
    [[ $listed == "$(ls | grep -vE '\.(buildinfo|changes|asc)$|^SHA256SUMS$')" ]] ||
        echo "SHA256SUMS lists: $listed"
    for signed in "SHA256SUMS.asc SHA256SUMS" *.dsc *.changes; do
        quiet gpgv --keyring "$keys/release.gpg" $signed
    done
}

# Refused, saying why, while the checkout has a change not committed.
refuses_uncommitted() {
    git clone -q "$work/source" "$scratch" && echo >>"$scratch/README.md"
    said=$("$scratch/packaging/release.sh" 2>&1) && echo "it built a release"
    [[ $said == "release.sh: a release is built from one commit, "* ]] || echo "$said"
}

# lintian prints no tag but the classification tags, which show it read the source, the program
# and its debug symbols. A lintian older than the release's Standards-Version is not its judge.
lintian_clean() {
    lintian -E -I --pedantic -L +classification "$release"/*.changes >"$scratch/tags" \
        2>"$scratch.log" || { cat "$scratch.log"; return 1; }
    ! grep -q ' newer-standards-version ' "$scratch/tags" ||
        skip "lintian $(lintian --print-version) predates the release's Standards-Version:" \
             "$(grep -o 'newer-standards-version .*' "$scratch/tags")"
    grep -v '^C: ' "$scratch/tags" || true
    for what in "aesm-test source" aesm-test aesm-test-dbgsym; do
        grep -q "^C: $what: " "$scratch/tags" || echo "lintian read no $what"
    done
}

# The package's own tests (debian/tests) by autopkgtest, against the .deb in a throwaway testbed:
# this machine where it is one (AESM_TEST_THROWAWAY=1, as in CI's fresh root), else a root of
# this machine's Debian release made once by mmdebstrap and entered in user namespaces, which
# needs a subordinate id range.
autopkgtest_installed() {
    local testbed=(null) suite tarball user
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME") tarball=$work.$suite.tar.zst
    local throwaway=(--ignore-restrictions=breaks-testbed) # null cannot revert: none is owed
    user=$(id -un)
    if [[ ${AESM_TEST_THROWAWAY:-} != 1 ]]; then
        grep -qs "^$user:" /etc/subuid && grep -qs "^$user:" /etc/subgid ||
            skip "needs a throwaway testbed: AESM_TEST_THROWAWAY=1 on a machine that is one, or" \
                 "a subordinate id range for $user (/etc/subuid, /etc/subgid)"
        [[ -f $tarball ]] || quiet mmdebstrap --variant=buildd "$suite" "$tarball"
        testbed=(unshare -t "$tarball") throwaway=()
    fi
    quiet dpkg-source -x "$release"/*.dsc "$scratch/source"
    quiet autopkgtest --setup-commands='apt-get update' "${throwaway[@]}" \
        "$release"/aesm-test_*_amd64.deb "$scratch/source" -- "${testbed[@]}"
}

# The zip's exe: signed by the release's certificate; without its signature the windows preset's
# build of the same source; signed, a skip, a failure and a pass of the Wine cases with the
# servers' logs.
windows_program() {
    unzip -q "$release"/*-windows-x86_64.zip -d "$scratch"
    exe=$(echo "$scratch"/*/aesm_test.exe)
    quiet osslsigncode verify -CAfile "$keys/release.pem" -in "$exe"
    osslsigncode remove-signature -in "$exe" -out "$scratch/unsigned.exe" >/dev/null
    quiet sh -c 'cmake --preset windows -B "$1" && cmake --build "$1"' sh "$scratch/build"
    cmp "$scratch/build/aesm_test.exe" "$scratch/unsigned.exe"
    quiet env AESM_TEST_PROGRAM="$exe" ctest --test-dir "$scratch/build" --output-on-failure \
        -R '^wine\.(skipped_in_simulation|fails_service_refusing|passes_service)$'
}

# The notices in the zip and the tarball name the GCC and the C runtime of the toolchain that built
# the release, as its packages give them.
notices() {
    unzip -p "$release"/*-windows-x86_64.zip '*/NOTICES.txt' | tr -s '\n ' '  ' >"$scratch/windows"
    tar -xzOf "$release"/*-linux-x86_64.tar.gz --wildcards '*/NOTICES' | tr -s '\n ' '  ' \
        >"$scratch/linux"
    local mingw musl named
    mingw=$(dpkg-query -W -f '${Version}' mingw-w64-x86-64-dev)
    musl=$(dpkg-query -W -f '${Version}' musl-dev)
    for named in "windows:mingw-w64 runtime (${mingw%%-*})" \
                 "windows:(GCC $(x86_64-w64-mingw32-gcc -dumpversion | cut -d- -f1))" \
                 "linux:musl ${musl%%-*}," "linux:start-up files of GCC $(gcc -dumpversion)."; do
        grep -qF "${named#*:}" "$scratch/${named%%:*}" ||
            echo "the ${named%%:*} notices do not say \"${named#*:}\""
    done
}

# The tarball's program is the static preset's build of the same source, whose suite it passed.
static_program() {
    quiet sh -c 'cmake --preset static -B "$1" && cmake --build "$1" --target aesm_test' sh \
        "$scratch/build"
    tar -C "$scratch" -xzf "$release"/*-linux-x86_64.tar.gz --wildcards '*/bin/aesm_test'
    cmp "$scratch/build/aesm_test" "$scratch"/aesm_test-*-linux-x86_64/bin/aesm_test
}

# The MSVC branch configures and builds from the release's folder (where the release built the
# others); the build, its Wine prefix the most of it, goes once it passed.
spaced_path_clang_cl() {
    "${as_builder[@]}" sh -c 'cd "$1" && cmake --preset "$2" && cmake --build --preset "$2"' \
        sh "$tree" windows-clang-cl >"$scratch.log" 2>&1 && rm -rf "$tree/build/windows-clang-cl" &&
        return 0
    # CMake wraps its message: its words, unquoted, are joined again on one line.
    ! grep -q "Not buildable here: " "$scratch.log" ||
        skip $(awk '/Not buildable here: /{p=1} /^(Call Stack|$)/{p=0} p' "$scratch.log")
    cat "$scratch.log"
    return 1
}

[[ $check != build ]] || { build; exit; }
# Each check anew. Its files go once it passed: silent, status 0; a check that failed, printing
# or not, keeps them with its log.
rm -rf "$scratch" && mkdir -p "$scratch"
set +e
(set -e; $check) 2>&1 | tee "$scratch.said"
status=${PIPESTATUS[0]}
[[ $status != 0 || -s $scratch.said ]] || rm -rf "$scratch" "$scratch.said" "$scratch.log"
exit "$status"
