#!/usr/bin/env bash
# zelk_suite against one zelk_simulator process per script, end to end.
# Usage: bench/suite_speed.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a release build (default build/release)
#   RUNS       repetitions of each measurement; medians are reported (default 5)
#
# 1. 1,000 copies of bench/twenty_lines.zelk: `zelk_suite DIR` against a shell loop that
#    runs `zelk_simulator SCRIPT` once per script. Both print to /dev/null. zelk_suite takes a
#    few milliseconds, less than the clock reads around it cost, so it is timed over 20 runs
#    in a row and the time divided by 20.
# 2. The same suite with --coverage against without, and with a snapshot beside each script,
#    checked, against the same suite without snapshots.
# 3. One large script (3,000,001 lines: status and expect mode StandbyMode alternating, about
#    620 MB of transcript): zelk_suite -j1 and -j2 on a folder holding it, with and without
#    --transcripts, against zelk_simulator SCRIPT > /dev/null: time and peak memory
#    (/usr/bin/time), medians.
set -euo pipefail
build=${1:-build/release}
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
suite="$build/zelk_suite"
sim="$build/zelk_simulator"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timing.sh
. "$here/timing.sh"

loop() {
    for script in "$work"/suite/*.zelk; do
        "$sim" "$script" >/dev/null
    done
}
twenty() {  # twenty COMMAND...: runs it 20 times in a row
    for _ in $(seq 20); do "$@" >/dev/null; done
}

mkdir "$work/suite" "$work/snapshots"
for i in $(seq -w 1 1000); do
    cp "$here/twenty_lines.zelk" "$work/suite/s$i.zelk"
    cp "$here/twenty_lines.zelk" "$work/snapshots/s$i.zelk"
done
"$suite" --snapshots=new --cache-dir "$work/cache" "$work/snapshots" >/dev/null
echo "machine: $(nproc) cores; 1,000 twenty-line scripts; $runs runs each, medians"
for run in $(seq "$runs"); do
    echo "  run $run of $runs" >&2
    micros twenty "$suite" "$work/suite" 3>>"$work/suite.us"
    micros twenty "$suite" --coverage "$work/suite" 3>>"$work/coverage.us"
    micros twenty "$suite" "$work/snapshots" 3>>"$work/snapshots.us"
    micros loop >/dev/null 3>>"$work/loop.us"
done
s=$(($(median <"$work/suite.us") / 20))
c=$(($(median <"$work/coverage.us") / 20))
n=$(($(median <"$work/snapshots.us") / 20))
l=$(median <"$work/loop.us")
echo "zelk_suite DIR:              $(awk -v s="$s" 'BEGIN { printf "%.1f", s / 1000 }') ms"
echo "zelk_suite --coverage DIR:   $(awk -v s="$c" 'BEGIN { printf "%.1f", s / 1000 }') ms ($(awk -v a="$c" -v b="$s" 'BEGIN { printf "%+.1f%%", (a - b) * 100 / b }'))"
echo "zelk_suite, snapshots checked: $(awk -v s="$n" 'BEGIN { printf "%.1f", s / 1000 }') ms ($(awk -v a="$n" -v b="$s" 'BEGIN { printf "%+.1f%%", (a - b) * 100 / b }'))"
echo "zelk_simulator, shell loop:  $((l / 1000)) ms"
echo "speed-up of zelk_suite:      $(awk -v a="$l" -v b="$s" 'BEGIN { printf "%.1fx", a / b }')"

# ---- 3. One large script, streamed
mkdir "$work/large"
{
    echo power
    for _ in $(seq 1500000); do
        echo status
        echo "expect mode StandbyMode"
    done
} >"$work/large/large.zelk"
echo "large script: $(wc -l <"$work/large/large.zelk") lines, $(wc -c <"$work/large/large.zelk") bytes"
measure() {  # measure NAME COMMAND...: appends "seconds kilobytes" to $work/NAME.large
    local name=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time.out" "$@" >/dev/null 2>&1 || true
    cat "$work/time.out" >>"$work/$name.large"
}
for run in $(seq "$runs"); do
    echo "  large: run $run of $runs" >&2
    measure sim "$sim" "$work/large/large.zelk"
    measure simfile sh -c 'exec "$0" "$1" >"$2"' "$sim" "$work/large/large.zelk" "$work/sim.out"
    measure j1 "$suite" -j1 "$work/large"
    measure j2 "$suite" -j2 "$work/large"
    rm -rf "$work/out"
    measure j1t "$suite" -j1 --transcripts "$work/out" "$work/large"
    rm -rf "$work/out"
    measure j2t "$suite" -j2 --transcripts "$work/out" "$work/large"
done
sim_s=$(cut -d' ' -f1 "$work/sim.large" | median)
for name in sim simfile j1 j2 j1t j2t; do
    s=$(cut -d' ' -f1 "$work/$name.large" | median)
    kb=$(cut -d' ' -f2 "$work/$name.large" | median)
    label=$name
    case $name in
        sim) label="zelk_simulator SCRIPT" ;;
        simfile) label="zelk_simulator SCRIPT > FILE" ;;
        j1) label="zelk_suite -j1 DIR" ;;
        j2) label="zelk_suite -j2 DIR" ;;
        j1t) label="zelk_suite -j1 --transcripts" ;;
        j2t) label="zelk_suite -j2 --transcripts" ;;
    esac
    awk -v l="$label" -v s="$s" -v k="$kb" -v b="$sim_s" \
        'BEGIN { printf "%-30s %6.2f s  %5.2fx zelk_simulator  peak %6.1f MB\n", l, s, s / b, k / 1024 }'
done
