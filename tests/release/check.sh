#!/usr/bin/env bash
# The release's checks: built twice under different conditions it gives the same bytes, and the
# packages themselves pass lintian, the suite's process and Wine tests, and dpkg -i and -r.
# Usage: tests/release/check.sh   (AESM_TEST_INSTALL=1 lets it install the .deb on this machine)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
version=$(sed -n 's/^project(aesm_test VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
socket=/var/run/aesmd/aesm.socket # where the packaged program finds the service
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
skip() { echo "skipped: $*"; exit 77; } # checks run in subshells
exec 3>&1 # notes beside a check's result

# The working tree as it is, without build output, in a folder with a space and a non-ASCII letter.
mkdir "$work/source" "$work/artifacts"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - |
    tar -C "$work/source" -xf -
tree="$work/a tree ü" release="$work/artifacts/source-root/build/release"
cp -a "$work/source" "$tree"
# The first build as another user where this one is root: reprotest cannot vary that itself.
as_builder=()
if ((EUID == 0)); then
    chmod go+rx "$work" && chown -R nobody:nogroup "$tree"
    as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${as_builder[@]}" "$tree/packaging/release.sh" >"$work/first.log" 2>&1 ||
    { cat "$work/first.log"; exit 1; }
mkdir -p "${release%/*}" && cp -a "$tree/build/release" "$release"

reproducible() {
    ((EUID == 0)) || echo "    not varied: the building user (needs root)" >&3
    (cd "$release" && sha256sum --quiet -c SHA256SUMS) || return 1
    # The second build: another path, time, time zone, locale, umask, file order, CPU count ...
    reprotest --vary=-user_group --store-dir "$work/store" --control-build "$work/artifacts" \
              -s "$work/source" packaging/release.sh 'build/release/*' \
              >"$work/reprotest.log" 2>&1 && return 0
    # diffoscope's report opens on SHA256SUMS, whose lines name the packages that differ.
    grep -A 40 -m 1 '^--- ' "$work/reprotest.log" || tail -n 20 "$work/reprotest.log"
    return 1
}

# Without SOURCE_DATE_EPOCH and git history the release stops, saying why, before building.
needs_epoch() {
    local said
    said=$(cd "$work/source" && env -u SOURCE_DATE_EPOCH packaging/release.sh 2>&1) && return 1
    [[ $said == "release.sh: no SOURCE_DATE_EPOCH, "* && ! -e $work/source/build ]] || echo "$said"
}

lintian_clean() {
    local tags
    tags=$(lintian -E -I --pedantic "$release/aesm-test_${version}_amd64.deb" 2>/dev/null)
    [[ -z $tags ]] || { echo "$tags"; return 1; }
}

# The process rows' outcomes with the service's socket served where the package expects it, and
# the hardening read off the packaged binaries.
linux_program() {
    cmake --preset native >/dev/null
    cmake --build --preset native --target program_test >/dev/null
    dpkg-deb -x "$release/aesm-test_${version}_amd64.deb" "$work/deb"
    tar -C "$work" -xzf "$release/aesm_test-$version-linux-x86_64.tar.gz"
    local program
    for program in "$work"/{deb/usr,aesm_test-$version-linux-x86_64}/bin/aesm_test; do
        unshare -rm sh -c 'mount -t tmpfs tmpfs "${1%/*/*}" && mkdir "${1%/*}" && shift && "$@"' \
            sh "$socket" env AESM_TEST_PROGRAM="$program" AESM_TEST_SOCKET="$socket" \
            ctest --preset native -R '^program\.' >"$work/linux.log" 2>&1 ||
            { echo "$program:"; cat "$work/linux.log"; return 1; }
        cmake -DREADELF=readelf -DPROGRAM="$program" -P tests/check_elf.cmake || return 1
    done
}

# The zip's exe: its image, and a skip, a failure and a pass of the Wine cases with the servers'
# logs.
windows_program() {
    cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
    unzip -q "$release/aesm_test-$version-windows-x86_64.zip" -d "$work"
    local exe=$work/aesm_test-$version-windows-x86_64/aesm_test.exe
    cmake -DREADOBJ=llvm-readobj-14 -DOBJDUMP=llvm-objdump-14 -DIMAGE="$exe" -DMSVC_BUILD=OFF \
          -P tests/wine/check_image.cmake || return 1
    AESM_TEST_PROGRAM="$exe" ctest --preset windows \
        -R '^wine\.(skipped_in_simulation|fails_service_refusing|passes_service)$' \
        >"$work/wine.log" 2>&1 || { cat "$work/wine.log"; return 1; }
}

# dpkg -i, the program, its man page, and dpkg -r leaving none of the package's files.
deb_install() {
    [[ ${AESM_TEST_INSTALL:-} == 1 ]] ||
        skip "installs the .deb on this machine only with AESM_TEST_INSTALL=1 (CI sets it)"
    ((EUID == 0)) || skip "dpkg -i needs root"
    local state files
    state=$(dpkg-query -W -f='${db:Status-Status}' aesm-test 2>/dev/null) || true
    [[ -z $state || $state == not-installed ]] || skip "aesm-test is already installed here"
    dpkg -i "$release/aesm-test_${version}_amd64.deb" >/dev/null || return 1
    files=$(dpkg-query -L aesm-test)
    VELM_SIMULATION=1 aesm_test >/dev/null
    (($? == 2)) || echo "aesm_test did not skip"
    # The page man finds, formatted afresh: the page found by name may come from man's cache.
    man -P cat -l "$(man -w aesm_test)" 2>/dev/null | grep -qF "$socket" || echo "man: no $socket"
    dpkg -r aesm-test >/dev/null || return 1
    while read -r file; do
        [[ ! -e $file || -d $file && $file != */aesm-test ]] || echo "dpkg -r left $file"
    done <<<"$files"
}

# The Windows presets configure and build from a path with a space and a non-ASCII letter.
spaced_path() {
    "${as_builder[@]}" sh -c 'cd "$1" && cmake --preset "$2" && cmake --build --preset "$2"' \
        sh "$tree" "$1" >"$work/path.log" 2>&1 || { tail -n 20 "$work/path.log"; return 1; }
}

declare -A count=([passed]=0 [failed]=0 [skipped]=0)
for check in reproducible needs_epoch lintian_clean linux_program windows_program deb_install \
             "spaced_path windows" "spaced_path windows-clang-cl"; do
    status=0
    said=$($check 2>&1) || status=$?
    result=failed # also when it says anything: a check that passes says nothing
    ((status == 77)) && result=skipped
    ((status == 0)) && [[ -z $said ]] && result=passed
    count[$result]=$((count[$result] + 1))
    echo "release.${check/ /.}: $result"
    [[ -z $said ]] || sed 's/^/    /' <<<"$said"
done
echo "release: ${count[passed]} passed, ${count[failed]} failed, ${count[skipped]} skipped"
((count[failed] == 0))
