#!/usr/bin/env bash
# Times the simulator end to end. Usage: bench/measure.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a release build (default build/release), with bench/generate_script built
#   RUNS       repetitions of each measurement; medians are reported (default 7)
#
# 1. 1,000,000-line scripts against the I/O floor `cat SCRIPT TRANSCRIPT > /dev/null`: the
#    mixed script (transcript to /dev/null and to a file), then each other mix of
#    bench/generate_script (to /dev/null).
# 2. A 20-line script, process start to exit, against /bin/true with no argument (with one,
#    coreutils' true sets up the locale to look for --help and --version, some 150 us more):
#    `perf stat -r 300` mean elapsed times, pair by pair, each side started as its own
#    process (a shell loop of 200 runs per side where perf is missing).
# 3. 100,000 dust lines while boosting against the same script without them: peak memory.
set -euo pipefail
build=${1:-build/release}
runs=${2:-7}
here=$(cd "$(dirname "$0")" && pwd)
sim="$build/zelk_simulator"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timing.sh
. "$here/timing.sh"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"

# Progress goes to standard error, the figures to standard output.
say() { echo "[measure] $*" >&2; }

# ---- 1. Throughput
mixes="mixed state expect errors comments long unique"
for mix in $mixes; do
    say "1/3 throughput: generating a 1,000,000-line $mix script"
    "$build/bench/generate_script" 1000000 42 "$mix" >"$work/$mix.zelk"
    "$sim" "$work/$mix.zelk" >"$work/$mix.txt" || true
done
echo "mixed script: $(wc -c <"$work/mixed.zelk") bytes, transcript: $(wc -c <"$work/mixed.txt") bytes"
for run in $(seq "$runs"); do
    say "1/3 throughput: run $run of $runs"
    for mix in $mixes; do
        micros cat "$work/$mix.zelk" "$work/$mix.txt" >/dev/null 3>>"$work/$mix.floor"
        micros "$sim" "$work/$mix.zelk" >/dev/null 3>>"$work/$mix.devnull" || true
    done
    micros "$sim" "$work/mixed.zelk" >"$work/out.txt" 3>>"$work/mixed.file" || true
done
floor=$(median <"$work/mixed.floor")
devnull=$(median <"$work/mixed.devnull")
file=$(median <"$work/mixed.file")
awk -v f="$floor" -v d="$devnull" -v w="$file" 'BEGIN {
    printf "I/O floor (cat SCRIPT TRANSCRIPT > /dev/null): %.3f s\n", f / 1e6
    printf "simulator, transcript to /dev/null:           %.3f s  %.2f M lines/s  %.1fx floor\n", d / 1e6, 1e6 / d, d / f
    printf "simulator, transcript to a file:              %.3f s  %.2f M lines/s  %.1fx floor\n", w / 1e6, 1e6 / w, w / f
}'
echo "each mix, transcript to /dev/null (medians):"
for mix in $mixes; do
    awk -v m="$mix" -v f="$(median <"$work/$mix.floor")" -v d="$(median <"$work/$mix.devnull")" \
        -v t="$(wc -c <"$work/$mix.txt")" 'BEGIN {
        printf "  %-9s floor %.4f s  simulator %.4f s  %.1fx floor  (%d bytes of transcript)\n", m, f / 1e6, d / 1e6, d / f, t
    }'
done

# ---- 2. Start-up
if perf stat -r 1 /bin/true >/dev/null 2>&1; then
    elapsed() { perf stat -r 300 "$@" 2>&1 >/dev/null | awk '/seconds time elapsed/ { print $1 * 1e6 }'; }
    for run in $(seq "$runs"); do
        say "2/3 start-up: pair $run of $runs (perf stat -r 300 each)"
        elapsed /bin/true >>"$work/true"
        elapsed "$sim" "$here/twenty_lines.zelk" >>"$work/twenty"
    done
    per_run=1
else
    batch() { for _ in $(seq 200); do "$@" >/dev/null || true; done; }
    for run in $(seq "$runs"); do
        say "2/3 start-up: pair $run of $runs (200 runs each; perf is not installed)"
        micros batch /bin/true 3>>"$work/true"
        micros batch "$sim" "$here/twenty_lines.zelk" 3>>"$work/twenty"
    done
    per_run=200
fi
t_true=$(median <"$work/true")
t_twenty=$(median <"$work/twenty")
awk -v t="$t_true" -v s="$t_twenty" -v n="$per_run" 'BEGIN {
    printf "/bin/true (no argument): %.0f us per run\n", t / n
    printf "20-line script:        %.0f us per run  %.2fx /bin/true\n", s / n, s / t
}'

# ---- 3. 100,000 dust lines while boosting
{ echo power; echo start; echo dust; } >"$work/base.zelk"
cp "$work/base.zelk" "$work/dust.zelk"
for _ in $(seq 100000); do echo dust; done >>"$work/dust.zelk"
for f in base dust; do
    { echo "expect mode BoostMode"; echo timer-expired; echo "expect mode NormalMode"; } >>"$work/$f.zelk"
done
say "3/3 memory: 100,000 dust lines while boosting"
for f in base dust; do
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%M %e" "$sim" "$work/$f.zelk" 2>>"$work/$f.time" >/dev/null
    done
done
base_kb=$(cut -d' ' -f1 "$work/base.time" | median)
dust_kb=$(cut -d' ' -f1 "$work/dust.time" | median)
dust_s=$(cut -d' ' -f2 "$work/dust.time" | median)
awk -v b="$base_kb" -v d="$dust_kb" -v s="$dust_s" 'BEGIN {
    printf "peak memory without dust lines: %d KB; with 100,000: %d KB (%.2fx), run %.2f s\n", b, d, d / b, s
}'
