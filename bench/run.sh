#!/usr/bin/env bash
# Measures aesm_test against a plain-C reference on the skip, fail and pass paths; prints a
# Markdown table and writes it to bench/out/results.md. Usage: bench/run.sh [--smoke]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" # presets are found in the working directory
# shellcheck source=bench/lib.sh
source "$ROOT/bench/lib.sh"

MODE=full
case "${1:-}" in
"") ;;
--smoke) MODE=smoke ;;
-h | --help)
    echo "usage: bench/run.sh [--smoke]   (--smoke: few runs, for CI)"
    exit 0
    ;;
*) die "unknown argument '$1' (usage: bench/run.sh [--smoke])" ;;
esac
if [[ $MODE == smoke ]]; then
    HYPERFINE_ROUNDS=1
    HYPERFINE_RUNS=(--warmup 1 --runs 5)
    RSS_RUNS=3
    RUNS_NOTE="smoke: wall time median of 5 runs after 1 warm-up, peak RSS median of 3"
else
    HYPERFINE_ROUNDS=10
    HYPERFINE_RUNS=(--warmup 10 --runs 200)
    RSS_RUNS=21
    RUNS_NOTE="full: wall time median of 2000 runs in 10 rounds of alternating order, peak RSS median of 21"
fi

OUT=$ROOT/bench/out
RAW=$OUT/raw
LOG=$OUT/build.log
rm -rf "$RAW"
mkdir -p "$RAW"
: >"$LOG"
unset VELM_SIMULATION

for tool in cmake ninja cc c++; do
    command -v "$tool" >/dev/null || die "$tool is required"
done
ensure_tool valgrind valgrind
ensure_tool hyperfine hyperfine
ensure_tool jq jq
[[ -x /usr/bin/time ]] || ensure_tool /usr/bin/time time

SOCK=$(bench_socket_path)
trap 'stop_listener; rm -f "$SOCK"' EXIT

echo "bench: building the probe (build/bench) and the reference (build/bench-ref)" >&2
build_native "$SOCK" "$LOG"
declare -A EXE=([probe]=$ROOT/build/bench/aesm_test [reference]=$ROOT/build/bench-ref/aesm_reference)
PROGRAMS=(probe reference)
PATHS=(skip fail pass)
declare -A SIM=([skip]=1 [fail]=- [pass]=-)
declare -A WANT=(
    [skip]="2|${SKIP_LINE}\\n|"
    [fail]="1||${FAIL_LINE}\\n"
    [pass]="0|${PASS_LINE}\\n|"
)
declare -A FIG

measure_path() {
    local path=$1 sim=${SIM[$1]} prog exe got i rss_file
    echo "bench: measuring the $path path" >&2
    for prog in "${PROGRAMS[@]}"; do
        exe=${EXE[$prog]}
        got=$(outcome "$sim" "$exe")
        [[ $got == "${WANT[$path]}" ]] ||
            die "$prog on the $path path answered '$got', expected '${WANT[$path]}'"

        # The exit status is the outcome's, checked above; a missing total is the failure.
        run_sim "$sim" valgrind --tool=callgrind --callgrind-out-file="$RAW/callgrind.$path.$prog.out" \
            "$exe" >/dev/null 2>"$RAW/callgrind.$path.$prog.log" || true
        FIG[ir.$path.$prog]=$(callgrind_total "$RAW/callgrind.$path.$prog.out") ||
            die "callgrind gave no total for $prog on the $path path (see $RAW)"

        rss_file=$RAW/rss.$path.$prog
        for ((i = 0; i < RSS_RUNS; i++)); do
            run_sim "$sim" /usr/bin/time -f %M -o "$rss_file.one" "$exe" >/dev/null 2>&1 || true
            tail -n 1 "$rss_file.one"
        done >"$rss_file"
        FIG[rss.$path.$prog]=$(median <"$rss_file") || die "no peak RSS for $prog on the $path path"
    done

    # Rounds in alternating order, so drift on a noisy machine falls on both programs alike.
    local ignore=() round order
    [[ $path == pass ]] || ignore=(--ignore-failure)
    for ((round = 0; round < HYPERFINE_ROUNDS; round++)); do
        order=(probe reference)
        ((round % 2 == 0)) || order=(reference probe)
        run_sim "$sim" hyperfine -N --style none "${ignore[@]}" "${HYPERFINE_RUNS[@]}" \
            --export-json "$RAW/hyperfine.$path.$round.json" \
            -n "${order[0]}" "$(printf %q "${EXE[${order[0]}]}")" \
            -n "${order[1]}" "$(printf %q "${EXE[${order[1]}]}")" \
            >>"$RAW/hyperfine.$path.log" 2>&1 || die "hyperfine failed on the $path path (see $RAW)"
    done
    for prog in "${PROGRAMS[@]}"; do
        FIG[time.$path.$prog]=$(hyperfine_times_ms "$prog" "$RAW"/hyperfine."$path".*.json |
            median | xargs printf '%.3f') || die "no wall times for $prog on the $path path"
    done
}

measure_path skip
stop_listener
rm -f "$SOCK"
measure_path fail
for prog in "${PROGRAMS[@]}"; do
    FIG[libs.$prog]=$(loaded_libraries "${EXE[$prog]}")
done
start_listener "$SOCK"
measure_path pass
stop_listener

# The Windows images: built with the windows preset's toolchain when it is there.
WIN_SKIP=
windows_figures() {
    local toolchain=$ROOT/cmake/toolchains/mingw-w64-x86_64.cmake build_type prog image
    if ! command -v x86_64-w64-mingw32-gcc >/dev/null || ! command -v x86_64-w64-mingw32-strip >/dev/null; then
        WIN_SKIP="no mingw-w64 cross toolchain (x86_64-w64-mingw32-gcc) on this machine"
        return
    fi
    if [[ ! -f $toolchain ]]; then
        WIN_SKIP="the windows preset's toolchain file cmake/toolchains/mingw-w64-x86_64.cmake is missing"
        return
    fi
    echo "bench: building the Windows probe (build/bench-windows) and reference (build/bench-ref-windows)" >&2
    {
        cmake --preset windows -B "$ROOT/build/bench-windows" -DAESM_BUILD_TESTS=OFF &&
            cmake --build "$ROOT/build/bench-windows" --target aesm_test
    } >>"$LOG" 2>&1 || die "Windows probe build failed (see $LOG)"
    build_type=$(cache_value "$ROOT/build/bench-windows" CMAKE_BUILD_TYPE)
    {
        cmake -S "$ROOT/bench" -B "$ROOT/build/bench-ref-windows" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE="$build_type" &&
            cmake --build "$ROOT/build/bench-ref-windows" --target aesm_reference
    } >>"$LOG" 2>&1 || die "Windows reference build failed (see $LOG)"
    cp "$ROOT/build/bench-windows/aesm_test.exe" "$RAW/probe.exe"
    cp "$ROOT/build/bench-ref-windows/aesm_reference.exe" "$RAW/reference.exe"
    for prog in "${PROGRAMS[@]}"; do
        image=$RAW/$prog.exe
        x86_64-w64-mingw32-strip "$image"
        FIG[winsize.$prog]=$(stat -c %s "$image")
        FIG[windlls.$prog]=$(imported_dlls "$image")
        # Resources (version information, manifest) are content, not code: shown apart too.
        x86_64-w64-mingw32-strip -R .rsrc -o "$RAW/$prog.norsrc.exe" "$image"
        FIG[winbare.$prog]=$(stat -c %s "$RAW/$prog.norsrc.exe")
    done
    WIN_BUILD_TYPE=$build_type
}
windows_figures

# The table, then the goals; a figure never fails the run.
row() {
    local name=$1 path=$2 p=$3 r=$4
    printf '| %s | %s | %s | %s | %s |\n' "$name" "$path" "$p" "$r" "$(ratio "$p" "$r")"
}
has_cxx_runtime() {
    [[ $1 == *libstdc++* || $1 == *libgcc_s* ]]
}
report() {
    local path ir_ratios="" ir_met=yes q
    echo "## aesm_test against a plain-C reference"
    echo
    echo "- machine: \`$(uname -srm)\`, CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), $(nproc) cores"
    echo "- date: $(date -u +%Y-%m-%dT%H:%MZ); mode: $RUNS_NOTE"
    echo "- Linux builds: probe \`build/bench\` (native preset, $(cache_value "$ROOT/build/bench" CMAKE_BUILD_TYPE)), reference \`build/bench-ref\` (same type, warnings and link options); $(cc --version | head -n 1)"
    echo
    echo "| figure | path | probe | reference | probe / reference |"
    echo "| --- | --- | --: | --: | --: |"
    for path in "${PATHS[@]}"; do
        row "instructions (callgrind Ir, whole process)" "$path" "${FIG[ir.$path.probe]}" "${FIG[ir.$path.reference]}"
    done
    for path in "${PATHS[@]}"; do
        row "wall time, median (ms)" "$path" "${FIG[time.$path.probe]}" "${FIG[time.$path.reference]}"
    done
    for path in "${PATHS[@]}"; do
        row "peak RSS (KiB)" "$path" "${FIG[rss.$path.probe]}" "${FIG[rss.$path.reference]}"
    done
    printf '| shared libraries loaded | all | %s | %s | %s |\n' "${FIG[libs.probe]}" "${FIG[libs.reference]}" \
        "$(same_or_differ "${FIG[libs.probe]}" "${FIG[libs.reference]}")"
    if [[ -z $WIN_SKIP ]]; then
        row "Windows stripped .exe (bytes, $WIN_BUILD_TYPE)" "-" "${FIG[winsize.probe]}" "${FIG[winsize.reference]}"
        row "the same less resources (strip -R .rsrc)" "-" "${FIG[winbare.probe]}" "${FIG[winbare.reference]}"
        printf '| Windows DLLs imported | - | %s | %s | %s |\n' "${FIG[windlls.probe]}" "${FIG[windlls.reference]}" \
            "$(same_or_differ "${FIG[windlls.probe]}" "${FIG[windlls.reference]}")"
    else
        echo "| Windows figures | - | skipped | skipped | |"
    fi
    echo
    echo "### Goals"
    echo
    for path in "${PATHS[@]}"; do
        q=$(ratio "${FIG[ir.$path.probe]}" "${FIG[ir.$path.reference]}")
        ir_ratios+="${ir_ratios:+, }$path $q"
        [[ $(within "$q" 1.05) == yes ]] || ir_met=no
    done
    echo "- instructions at most 1.05x the reference on every path: $([[ $ir_met == yes ]] && echo met || echo MISSED) ($ir_ratios)"
    if has_cxx_runtime "${FIG[libs.probe]}"; then
        echo "- no C++ runtime loaded on Linux: MISSED (${FIG[libs.probe]})"
    else
        echo "- no C++ runtime loaded on Linux: met (${FIG[libs.probe]})"
    fi
    if [[ -n $WIN_SKIP ]]; then
        echo "- stripped Windows exe at most 1.10x the reference: not measured ($WIN_SKIP)"
    else
        q=$(ratio "${FIG[winsize.probe]}" "${FIG[winsize.reference]}")
        echo "- stripped Windows exe at most 1.10x the reference: $([[ $(within "$q" 1.10) == yes ]] && echo met || echo MISSED) ($q: ${FIG[winsize.probe]} / ${FIG[winsize.reference]} bytes; less resources $(ratio "${FIG[winbare.probe]}" "${FIG[winbare.reference]}"): ${FIG[winbare.probe]} / ${FIG[winbare.reference]} bytes)"
    fi
}
report >"$OUT/results.md"
cat "$OUT/results.md"
echo "bench: table written to bench/out/results.md, raw data in bench/out/raw" >&2
