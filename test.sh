#!/usr/bin/env bash
# The whole suite: installs what the parts asked for need (Debian 13 or 12, as root or through sudo),
# configures and builds each part's preset, then runs every part's tests in one CTest run. That
# run's summary is the suite's: each build counts as a test (build.<part>), so a part that does
# not build counts as failed whatever its log says.
# Usage: ./test.sh [part...]   (default: every part, in this order)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
PARTS=(native clang asan lint windows windows-clang-cl static bench release-checks)

# What each part needs; release-checks needs debian/control's Build-Depends too. Installed
# without the recommended packages (Wine's are a desktop's worth), but for Wine's own. The
# release checks build the static and both Windows programs again.
NATIVE="cmake ninja-build g++ libgtest-dev"
WINDOWS="cmake ninja-build g++-mingw-w64-x86-64-win32 wine64 wine64-tools wine llvm"
declare -A NEEDS=(
    [native]="$NATIVE binutils devscripts"
    [clang]="$NATIVE clang binutils devscripts"
    [asan]="$NATIVE"
    [lint]="$NATIVE clang-tidy cppcheck"
    [windows]="$WINDOWS"
    [windows-clang-cl]="$WINDOWS clang-tools lld"
    [static]="$NATIVE musl-tools binutils bubblewrap"
    [bench]="cmake ninja-build g++ musl-tools g++-mingw-w64-x86-64-win32 binutils valgrind hyperfine
             jq time"
    [release-checks]="$WINDOWS clang-tools lld g++ musl-tools git dpkg-dev fakeroot zip unzip
                      strip-nondeterminism lintian reprotest diffoscope-minimal disorderfs faketime
                      locales-all man-db gnupg gpgv openssl osslsigncode autopkgtest mmdebstrap"
)

# Waits for the dpkg lock, which a new machine's first-boot upgrade may hold for minutes.
apt_get() {
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# apt-get update does not wait for its own lock, on the package lists: tried again while held.
apt_update() {
    local try error
    for try in {1..180}; do
        error=$(apt_get update -qq 2>&1) && return 0
        [[ $error == *"Could not get lock"* ]] || break
        sleep 5
    done
    echo "$error" >&2
    return 1
}

install_missing() {
    local part package missing=() build_deps=
    for part in "$@"; do
        [[ -v NEEDS[$part] ]] || { echo "test.sh: no part $part (parts: ${PARTS[*]})" >&2; return 1; }
        for package in ${NEEDS[$part]}; do
            [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ||
               " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
        done
        [[ $part != release-checks ]] || dpkg-checkbuilddeps 2>/dev/null ||
            build_deps=" and debian/control's Build-Depends"
    done
    [[ ${#missing[@]} != 0 || -n $build_deps ]] || return 0
    echo "test.sh: installing ${missing[*]}$build_deps"
    apt_update || return 1
    ((${#missing[@]} == 0)) ||
        apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
    [[ -z $build_deps ]] || apt_get build-dep -y -qq --no-install-recommends ./ >/dev/null ||
        return 1
    echo "test.sh: installed in $SECONDS s"
}

parts=("$@")
((${#parts[@]})) || parts=("${PARTS[@]}")
install_missing "${parts[@]}" ||
    { echo "test.sh: could not install the packages the suite needs" >&2; exit 1; }

# Each part's build, its log kept for the test that reports it; then the suite's CTest file.
# Paths go in as bracket arguments, which take any character.
suite=$PWD/build/suite
rm -rf "$suite" && mkdir -p "$suite"
exec 3>"$suite/CTestTestfile.cmake"
for part in "${parts[@]}"; do
    if [[ $part == bench ]]; then # it builds its own presets
        echo "add_test(bench.smoke [==[$PWD/bench/run.sh]==] --smoke)" >&3
        echo "set_tests_properties(bench.smoke PROPERTIES TIMEOUT 600)" >&3
        continue
    fi
    # Configured afresh: a cache left from another configure (tests off, say) would hide tests.
    echo "=== build.$part"
    { cmake --preset "$part" --fresh && cmake --build --preset "$part"; } 2>&1 |
        tee "$suite/$part.log"
    echo "add_test(build.$part sh -c \"tail -n 60 \\\"\$0\\\"; exit ${PIPESTATUS[0]}\"" \
         "[==[$suite/$part.log]==])" >&3
    # A part this machine's toolchain is too old for says so as its configure fails: skipped.
    echo "set_tests_properties(build.$part PROPERTIES SKIP_REGULAR_EXPRESSION" \
         "[==[Not buildable here: ]==])" >&3
    ! cmake --list-presets=test | grep -q "\"$part\"" || echo "subdirs([==[$PWD/build/$part]==])" >&3
done
exec 3>&-
cd "$suite" && exec ctest --output-on-failure --no-tests=error -j2
