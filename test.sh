#!/usr/bin/env bash
# The whole suite: installs what is missing (Debian 12), then runs each preset's workflow
# (configure, build and, where it has tests, CTest), a smoke run of the benchmark and the release's
# checks (tests/release/check.sh).
# Usage: ./test.sh [part...]   (default: native asan lint windows windows-clang-cl bench release)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-tidy cppcheck binutils
          g++-mingw-w64-x86-64-win32 wine64 wine64-tools clang-tools-14 lld-14 llvm-14
          valgrind hyperfine jq time)
# The release's tools and checks, without the recommended packages (a desktop's worth of them);
# the Debian package's own build dependencies come from debian/control. The Authenticode signer
# is Debian 12's: the version the suite has run, as signatures differ between versions.
RELEASE_PACKAGES=(dpkg-dev zip lintian reprotest diffoscope-minimal disorderfs faketime locales-all
                  unzip man-db gnupg sqv openssl osslsigncode=2.5-4)

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

# Each of name or name=version not installed (at that version).
not_installed() {
    local package version
    for package in "$@"; do
        version=
        [[ $package == *=* ]] && version=${package#*=}
        [[ $(dpkg-query -W -f='${Status} ${Version}' "${package%=*}" 2>/dev/null) == \
           "install ok installed $version"* ]] || echo "$package"
    done
}

install_missing() {
    local missing release_missing
    mapfile -t missing < <(not_installed "${PACKAGES[@]}")
    mapfile -t release_missing < <(not_installed "${RELEASE_PACKAGES[@]}")
    dpkg-checkbuilddeps 2>/dev/null && ((${#missing[@]} + ${#release_missing[@]} == 0)) && return 0
    echo "test.sh: installing ${missing[*]} ${release_missing[*]} (and debian/control's needs)"
    apt_update || return 1
    ((${#missing[@]} == 0)) || apt_get install -y -qq "${missing[@]}" >/dev/null || return 1
    ((${#release_missing[@]} == 0)) ||
        apt_get install -y -qq --no-install-recommends --allow-downgrades \
                "${release_missing[@]}" >/dev/null || return 1
    apt_get build-dep -y -qq --no-install-recommends ./ >/dev/null
}

install_missing || { echo "test.sh: could not install the packages the suite needs" >&2; exit 1; }

presets=("$@")
((${#presets[@]})) || presets=(native asan lint windows windows-clang-cl bench release)
passed=0 failed=0 skipped=0 broken=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
    echo "=== $preset"
    if [[ $preset == bench ]]; then
        bench/run.sh --smoke
    elif [[ $preset == release ]]; then
        tests/release/check.sh
    else
        cmake --workflow --preset "$preset"
    fi 2>&1 | tee "$log"
    ok=${PIPESTATUS[0]}
    ((ok == 0)) || broken+=("$preset")
    # A part with tests counts them (the release's checks close on their own count); one without
    # (or that never got to them) counts as one.
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    own=$(grep -E '^release: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$log" | tail -1)
    if [[ $own =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed,\ ([0-9]+)\ skipped ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
        skipped=$((skipped + BASH_REMATCH[3]))
    elif [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        # CTest counts a skipped test among those that did not fail, and lists it as "(Skipped)".
        skips=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" || true)
        failed=$((failed + BASH_REMATCH[1]))
        skipped=$((skipped + skips))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1] - skips))
    elif ((ok != 0)); then
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done

((${#broken[@]})) && echo "test.sh: failing: ${broken[*]}" >&2
echo "aesm_test: $passed passed, $failed failed, $skipped skipped"
((${#broken[@]} == 0))
