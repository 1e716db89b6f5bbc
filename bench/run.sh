#!/usr/bin/env bash
# aesm_test against a plain-C reference on the skip, fail and pass paths: instructions, peak RSS
# and wall time on Linux, and the stripped Windows images. Prints a Markdown table and the goals;
# fails only when a build fails or the two programs do not answer alike.
# Usage: bench/run.sh [--smoke]   (needs valgrind, hyperfine, jq, GNU time; ./test.sh installs them)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=(--warmup 20 --runs 500)
[[ ${1:-} == --smoke ]] && runs=(--warmup 1 --runs 5)

cmake --workflow --preset bench >/dev/null
build=$PWD/build/bench
probe=$build/aesm_test reference=$build/bench/aesm_reference
# The static program (the tarball's), measured beside the others where musl-tools is installed.
programs=(probe reference)
if command -v musl-gcc >/dev/null; then
    cmake --workflow --preset bench-static >/dev/null
    static=$PWD/build/bench-static/aesm_test programs+=(static)
fi
work=$(mktemp -d)
listener=
trap '[[ -z $listener ]] || kill $listener; rm -rf "$work"' EXIT
cd "$work" # the bench build finds the service's socket in the working directory

ratio() { awk -v p="$1" -v r="$2" 'BEGIN { printf "%.3f", p / r }'; }
at_most() { awk -v q="$1" -v max="$2" 'BEGIN { print (q <= max ? "met" : "MISSED") }'; }
row() { echo "| $1 | $2 | $3 | $4 | $(ratio "$3" "$4") |"; }
libraries() { ldd "$1" | awk '$1 !~ /^linux-vdso/ { n = split($1, p, "/"); printf "%s ", p[n] }'; }

declare -A status=([skip]=2 [fail]=1 [pass]=0) figure
for path in skip fail pass; do
    if [[ $path == skip ]]; then export VELM_SIMULATION=1; else unset VELM_SIMULATION; fi
    if [[ $path == pass ]]; then
        # Its "ready" comes after listen(); end of file instead means it died, and the wait is
        # bounded should it neither listen nor die.
        exec {ready}< <(exec "$build/bench/aesm_listener" aesm.socket)
        listener=$!
        read -r -t 10 -u "$ready" said && [[ $said == ready ]] ||
            { echo "bench: the listener did not start" >&2; exit 1; }
    fi
    for program in "${programs[@]}"; do
        exe=${!program}
        "$exe" >"$program.out" 2>"$program.err" && got=0 || got=$?
        [[ $got == "${status[$path]}" ]] || { echo "bench: $program exits $got on the $path path" >&2; exit 1; }
        valgrind --tool=callgrind --callgrind-out-file="$program.cg" "$exe" >/dev/null 2>&1 || true
        figure[ir.$path.$program]=$(sed -n 's/^totals: //p' "$program.cg")
        figure[rss.$path.$program]=$(for run in 1 2 3 4 5; do
            /usr/bin/time -f %M -o "$program.rss" "$exe" >/dev/null 2>&1 || true
            tail -n 1 "$program.rss"
        done | sort -n | sed -n 3p)
    done
    for program in "${programs[@]}"; do
        cmp -s "$program.out" reference.out && cmp -s "$program.err" reference.err ||
            { echo "bench: $program and reference answer differently on the $path path" >&2; exit 1; }
    done
    # -N splits each command into words as a shell would: quoted, a path may have spaces.
    hyperfine -N --style none --ignore-failure "${runs[@]}" --export-json "$path.json" \
        -n probe "'$probe'" -n reference "'$reference'" >/dev/null 2>&1
    for program in probe reference; do
        figure[time.$path.$program]=$(jq ".results[] | select(.command == \"$program\") | .median" \
            "$path.json" | awk '{ printf "%.3f", $1 * 1000 }')
    done
done
kill $listener
listener=
cd - >/dev/null

if command -v x86_64-w64-mingw32-strip >/dev/null; then
    cmake --workflow --preset bench-windows >/dev/null
    x86_64-w64-mingw32-strip -o "$work/probe.exe" build/bench-windows/aesm_test.exe
    x86_64-w64-mingw32-strip -o "$work/reference.exe" build/bench-windows/bench/aesm_reference.exe
    figure[exe.probe]=$(stat -c %s "$work/probe.exe")
    figure[exe.reference]=$(stat -c %s "$work/reference.exe")
fi

echo "| figure | path | probe | reference | probe / reference |"
echo "| --- | --- | --: | --: | --: |"
for name in "ir;instructions (callgrind)" "rss;peak RSS (KiB), median of 5" "time;wall time, median (ms)"; do
    for path in skip fail pass; do
        row "${name#*;}" $path "${figure[${name%;*}.$path.probe]}" "${figure[${name%;*}.$path.reference]}"
    done
done
[[ -z ${static:-} ]] || for name in "ir;instructions (callgrind)" "rss;peak RSS (KiB), median of 5"; do
    for path in skip fail pass; do
        row "${name#*;}, static probe" $path "${figure[${name%;*}.$path.static]}" "${figure[${name%;*}.$path.reference]}"
    done
done
echo "| shared libraries | all | $(libraries "$probe")| $(libraries "$reference")| |"
[[ -z ${figure[exe.probe]:-} ]] ||
    row "stripped Windows exe (bytes)" - "${figure[exe.probe]}" "${figure[exe.reference]}"

echo
worst=$(for path in skip fail pass; do ratio "${figure[ir.$path.probe]}" "${figure[ir.$path.reference]}"; echo; done | sort -g | tail -n 1)
echo "- instructions at most 1.05x the reference on every path: $(at_most "$worst" 1.05) (worst $worst)"
case $(libraries "$probe") in
*libstdc++* | *libgcc_s*) echo "- no C++ runtime loaded: MISSED" ;;
*) echo "- no C++ runtime loaded: met" ;;
esac
if [[ -n ${figure[exe.probe]:-} ]]; then
    q=$(ratio "${figure[exe.probe]}" "${figure[exe.reference]}")
    echo "- stripped Windows exe at most 1.10x the reference: $(at_most "$q" 1.10) ($q)"
else
    echo "- stripped Windows exe: not measured (no mingw-w64 cross toolchain)"
fi
