# Helpers shared by bench/run.sh and bench/test.sh: builds, outcome runs and figure extraction.
# shellcheck shell=bash
# Sourced, not run; callers set ROOT (the checkout) and `set -euo pipefail`.

# shellcheck disable=SC2034 # used by the scripts that source this
readonly SKIP_LINE='=== Skipped unsupported test in simulation mode (aesm)'
readonly PASS_LINE='=== passed all tests (aesm)'
readonly FAIL_LINE='aesm: failed to connect'

die() {
    echo "bench: $*" >&2
    exit 1
}

# Installs a Debian package when its command is missing; refreshes the lists only if needed.
ensure_tool() {
    local cmd=$1 pkg=$2
    command -v "$cmd" >/dev/null 2>&1 && return 0
    echo "bench: installing $pkg for $cmd" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$pkg" >/dev/null 2>&1 ||
        { apt-get update -qq >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$pkg" >/dev/null; } ||
        die "cannot install $pkg"
    command -v "$cmd" >/dev/null 2>&1 || die "$pkg installed no $cmd"
}

# The socket the bench builds are compiled against: in the build dir, or /tmp when that path
# would not fit in sun_path.
bench_socket_path() {
    local path="$ROOT/build/bench/aesm.sock"
    if ((${#path} > 100)); then
        path="/tmp/aesm-bench-$(id -u)/aesm.sock"
    fi
    echo "$path"
}

# Configures and builds the probe (native preset, socket at $1) into build/bench and the
# reference and listener into build/bench-ref with the probe's build type.
build_native() {
    local sock=$1 log=$2 build_type
    mkdir -p "$(dirname "$sock")"
    {
        cmake --preset native -B "$ROOT/build/bench" -DAESM_SOCKET_PATH="$sock" \
            -DAESM_BUILD_TESTS=OFF &&
            cmake --build "$ROOT/build/bench" --target aesm_test
    } >>"$log" 2>&1 || die "probe build failed (see $log)"
    build_type=$(cache_value "$ROOT/build/bench" CMAKE_BUILD_TYPE)
    {
        cmake -S "$ROOT/bench" -B "$ROOT/build/bench-ref" -G Ninja \
            -DCMAKE_BUILD_TYPE="$build_type" -DAESM_SOCKET_PATH="$sock" &&
            cmake --build "$ROOT/build/bench-ref"
    } >>"$log" 2>&1 || die "reference build failed (see $log)"
}

# A value from a build dir's CMakeCache.txt.
cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# Starts the listener on $1 in the background; sets LISTENER_PID once the socket exists.
start_listener() {
    local sock=$1 i
    "$ROOT/build/bench-ref/aesm_listener" "$sock" &
    LISTENER_PID=$!
    for ((i = 0; i < 500; i++)); do
        [[ -S $sock ]] && return 0
        kill -0 "$LISTENER_PID" 2>/dev/null || die "listener on $sock exited"
        sleep 0.01
    done
    die "listener on $sock never came up"
}

stop_listener() {
    if [[ -n ${LISTENER_PID:-} ]]; then
        kill "$LISTENER_PID" 2>/dev/null || true
        wait "$LISTENER_PID" 2>/dev/null || true
        LISTENER_PID=
    fi
}

# Runs $2.. with VELM_SIMULATION set to $1, or unset when $1 is "-"; the status is the command's.
run_sim() {
    local sim=$1
    shift
    if [[ $sim == - ]]; then env -u VELM_SIMULATION "$@"; else env VELM_SIMULATION="$sim" "$@"; fi
}

# Runs $2.. as run_sim does and prints
# "<exit status>|<stdout>|<stderr>" on one line, newlines shown as \n.
outcome() {
    local sim=$1 out err rc
    shift
    out=$(mktemp) err=$(mktemp)
    run_sim "$sim" "$@" >"$out" 2>"$err" && rc=0 || rc=$?
    printf '%s|%s|%s\n' "$rc" "$(sed -z 's/\n/\\n/g' "$out")" "$(sed -z 's/\n/\\n/g' "$err")"
    rm -f "$out" "$err"
}

# Total instructions of the whole process from a callgrind output file.
callgrind_total() {
    awk '/^totals:/ { print $2; found = 1 } END { if (!found) exit 1 }' "$1"
}

# The median of the numbers on stdin, one a line, blank lines ignored (mean of the middle two for an even count).
median() {
    sort -g | awk 'NF { v[++n] = $1 } END {
        if (n == 0) exit 1
        if (n % 2) print v[(n + 1) / 2]; else print (v[n / 2] + v[n / 2 + 1]) / 2 }'
}

# probe / reference to three decimals; "n/a" when either is not a positive number.
ratio() {
    awk -v p="$1" -v r="$2" 'BEGIN {
        if (p !~ /^[0-9.]+$/ || r !~ /^[0-9.]+$/ || r + 0 <= 0) { print "n/a"; exit }
        printf "%.3f\n", p / r }'
}

# "yes" when ratio $1 is at most $2, "no" when above, "n/a" when there is no ratio.
within() {
    awk -v q="$1" -v max="$2" 'BEGIN {
        if (q !~ /^[0-9.]+$/) print "n/a"; else print (q + 0 <= max + 0 ? "yes" : "no") }'
}

# Every timed run, in milliseconds one a line, of the command named $1 in hyperfine JSON
# exports $2..; fails when no export has it.
hyperfine_times_ms() {
    local name=$1
    shift
    jq -r --arg name "$name" '.results[] | select(.command == $name) | .times[] * 1000' "$@" |
        awk 'NF { printf "%.6g\n", $1; found = 1 } END { if (!found) exit 1 }'
}

# The shared objects the dynamic loader initialised while running $@, basenames, joined with ", ".
loaded_libraries() {
    { LD_DEBUG=libs "$@" || true; } 2>&1 >/dev/null |
        sed -n 's|.*calling init: \(.*\)|\1|p' | xargs -r -n1 basename | sort -u | join_list
}

# DLLs a PE image imports, lowercased, joined with ", ".
imported_dlls() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ { print tolower($3) }' | sort -u |
        join_list
}

# The lines on stdin joined with ", ".
join_list() {
    paste -sd, - | sed 's/,/, /g'
}

# "same" when two lists are equal, else "differ".
same_or_differ() {
    [[ $1 == "$2" ]] && echo same || echo differ
}
