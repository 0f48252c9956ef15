#!/usr/bin/env bash
# zelk_suite against one zelk_simulator process per script, end to end.
# Usage: bench/suite_speed.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a release build (default build/release)
#   RUNS       repetitions of each measurement; medians are reported (default 5)
#
# 1. 1,000 copies of bench/twenty_lines.zelk: `zelk_suite DIR` against a shell loop that
#    runs `zelk_simulator SCRIPT` once per script. Both print to /dev/null.
# 2. The same suite with --coverage against without.
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

mkdir "$work/suite"
for i in $(seq -w 1 1000); do
    cp "$here/twenty_lines.zelk" "$work/suite/s$i.zelk"
done
echo "machine: $(nproc) cores; 1,000 twenty-line scripts; $runs runs each, medians"
for run in $(seq "$runs"); do
    echo "  run $run of $runs" >&2
    micros "$suite" "$work/suite" >/dev/null 3>>"$work/suite.us"
    micros "$suite" --coverage "$work/suite" >/dev/null 3>>"$work/coverage.us"
    micros loop >/dev/null 3>>"$work/loop.us"
done
s=$(median <"$work/suite.us")
c=$(median <"$work/coverage.us")
l=$(median <"$work/loop.us")
echo "zelk_suite DIR:              $((s / 1000)) ms"
echo "zelk_suite --coverage DIR:   $((c / 1000)) ms ($(awk -v a="$c" -v b="$s" 'BEGIN { printf "%+.1f%%", (a - b) * 100 / b }'))"
echo "zelk_simulator, shell loop:  $((l / 1000)) ms"
echo "speed-up of zelk_suite:      $(awk -v a="$l" -v b="$s" 'BEGIN { printf "%.1fx", a / b }')"
