#!/usr/bin/env bash
# The whole suite: installs what is missing (Debian 12), then runs each preset's workflow
# (configure, build and, where it has tests, CTest) and a smoke run of the benchmark.
# Usage: ./test.sh [preset...]   (default: native asan lint windows windows-clang-cl bench)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-tidy cppcheck binutils
          g++-mingw-w64-x86-64-win32 wine64 wine64-tools clang-tools-14 lld-14 llvm-14
          valgrind hyperfine jq time)

install_missing() {
    local missing=() package
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
            missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    echo "test.sh: installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing || { echo "test.sh: could not install the packages the suite needs" >&2; exit 1; }

presets=("$@")
((${#presets[@]})) || presets=(native asan lint windows windows-clang-cl bench)
passed=0 failed=0 broken=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
    echo "=== $preset"
    if [[ $preset == bench ]]; then
        bench/run.sh --smoke
    else
        cmake --workflow --preset "$preset"
    fi 2>&1 | tee "$log"
    ok=${PIPESTATUS[0]}
    ((ok == 0)) || broken+=("$preset")
    # A preset with tests counts them; one without (or that never got to them) counts as one.
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=$((failed + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    elif ((ok != 0)); then
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done

((${#broken[@]})) && echo "test.sh: failing: ${broken[*]}" >&2
echo "aesm_test: $passed passed, $failed failed"
((${#broken[@]} == 0))
