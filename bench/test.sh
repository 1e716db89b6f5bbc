#!/usr/bin/env bash
# Tests of the benchmark: the reference must answer as the probe does in every case, and the
# figure helpers must read their inputs right. Builds into build/bench*; ends "N passed, N failed".
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" # presets are found in the working directory
# shellcheck source=bench/lib.sh
source "$ROOT/bench/lib.sh"

PASSED=0
FAILED=0
check() {
    local name=$1 got=$2 want=$3
    if [[ $got == "$want" ]]; then
        PASSED=$((PASSED + 1))
    else
        FAILED=$((FAILED + 1))
        printf 'FAIL %s\n  got:  %s\n  want: %s\n' "$name" "$got" "$want" >&2
    fi
}

# --- figure helpers: inputs in, figure out --------------------------------------------------
while IFS='|' read -r name input want; do
    check "median $name" "$(printf '%b' "$input" | median 2>/dev/null || echo none)" "$want"
done <<'EOF'
one value|7\n|7
odd count, unsorted|9\n1\n5\n|5
even count takes the middle mean|4\n1\n3\n2\n|2.5
decimals sort as numbers|10.5\n9.25\n100\n|10.5
nothing|\n|none
EOF

while IFS='|' read -r name p r want; do
    check "ratio $name" "$(ratio "$p" "$r")" "$want"
done <<'EOF'
above one|137025|132757|1.032
below one|1072|1104|0.971
decimals|4.064|3.317|1.225
zero reference|5|0|n/a
missing figure||5|n/a
text figure|skipped|5|n/a
EOF

while IFS='|' read -r name q max want; do
    check "within $name" "$(within "$q" "$max")" "$want"
done <<'EOF'
below|1.032|1.05|yes
at the bound|1.050|1.05|yes
above|1.051|1.05|no
no ratio|n/a|1.05|n/a
EOF

tmp=$(mktemp -d)
trap 'stop_listener; rm -rf "$tmp"' EXIT

printf 'events: Ir\nfn=(1) main\n16 3\nsummary: 135361\ntotals: 135361\n' >"$tmp/cg.out"
check "callgrind total" "$(callgrind_total "$tmp/cg.out")" 135361
printf 'events: Ir\nfn=(1) main\n16 3\n' >"$tmp/cg.cut"
check "callgrind total of a cut-off file fails" "$(callgrind_total "$tmp/cg.cut" || echo failed)" failed

# Runs of one command gathered across rounds, whatever its place in each export.
cat >"$tmp/hf.0.json" <<'EOF'
{"results": [{"command": "probe", "median": 9, "times": [0.004, 0.0035]},
             {"command": "reference", "median": 9, "times": [0.003]}]}
EOF
cat >"$tmp/hf.1.json" <<'EOF'
{"results": [{"command": "reference", "median": 9, "times": [0.0031, 0.0032]},
             {"command": "probe", "median": 9, "times": [0.0041]}]}
EOF
check "hyperfine times across rounds" \
    "$(hyperfine_times_ms probe "$tmp"/hf.*.json | paste -sd' ')" "4 3.5 4.1"
check "hyperfine times, other command" \
    "$(hyperfine_times_ms reference "$tmp"/hf.*.json | median)" 3.1
check "hyperfine times of an absent command fail" \
    "$(hyperfine_times_ms other "$tmp"/hf.*.json || echo failed)" failed

check "libraries loaded by a dynamic C program" "$(loaded_libraries /bin/true)" \
    "ld-linux-x86-64.so.2, libc.so.6"

# --- the reference answers as the probe does -----------------------------------------------
SOCK=$(bench_socket_path)
LISTENER_PID=
build_native "$SOCK" "$tmp/build.log"
PROBE=$ROOT/build/bench/aesm_test
REF=$ROOT/build/bench-ref/aesm_reference

# Leaves the compiled-in socket path in state $1.
socket_state() {
    stop_listener
    rm -f "$SOCK"
    case $1 in
    absent) ;;
    listening) start_listener "$SOCK" ;;
    stale) # a socket file nobody listens on
        start_listener "$SOCK"
        kill "$LISTENER_PID"
        wait "$LISTENER_PID" 2>/dev/null || true
        LISTENER_PID=
        ;;
    regular) : >"$SOCK" ;;
    esac
}

skip="2|${SKIP_LINE}\\n|"
fail="1||${FAIL_LINE}\\n"
pass="0|${PASS_LINE}\\n|"
for state in absent listening stale regular; do
    socket_state "$state"
    [[ $state == listening ]] && connected=$pass || connected=$fail
    # "-" is unset; only exactly "1" skips.
    for sim in - 1 0 '' '1 ' ' 1' 11 true 01 $'1\n'; do
        [[ $sim == 1 ]] && want=$skip || want=$connected
        label="VELM_SIMULATION=$(printf %q "$sim"), socket $state"
        check "probe, $label" "$(outcome "$sim" "$PROBE")" "$want"
        check "reference, $label" "$(outcome "$sim" "$REF")" "$want"
    done
done
socket_state absent

echo "bench tests: $PASSED passed, $FAILED failed"
((FAILED == 0))
