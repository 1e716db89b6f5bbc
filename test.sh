#!/usr/bin/env bash
# The whole suite: installs what is missing (Debian 12), then builds and tests every preset that
# runs here (native, asan, windows and windows-clang-cl under Wine) and smoke-runs the benchmark.
# Usage: ./test.sh [preset...]   (default: native asan windows windows-clang-cl, then the benchmark)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev valgrind clang-tidy cppcheck binutils
          g++-mingw-w64-x86-64-win32 wine64 wine64-tools clang-tools-14 lld-14 llvm-14
          hyperfine jq time)

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
((${#presets[@]})) || presets=(native asan windows windows-clang-cl bench)
passed=0 failed=0 broken=()
for preset in "${presets[@]}"; do
    echo "=== $preset"
    if [[ $preset == bench ]]; then
        if bench/test.sh && bench/run.sh --smoke; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            broken+=(bench)
        fi
        continue
    fi
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
        failed=$((failed + 1))
        broken+=("$preset")
        continue
    fi
    log=$(mktemp)
    ctest --preset "$preset" -j2 2>&1 | tee "$log"
    [[ ${PIPESTATUS[0]} == 0 ]] || broken+=("$preset")
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=$((failed + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    fi
    rm -f "$log"
done

((${#broken[@]})) && echo "test.sh: failing: ${broken[*]}" >&2
echo "aesm_test: $passed passed, $failed failed"
((${#broken[@]} == 0))
