#!/usr/bin/env bash
# Records the golden outputs anew from a build: system_tests/golden/*.case through
# zelk_simulator and system_tests/suite_golden/*.case through zelk_suite, and the snapshots of
# system_tests/tc and system_tests/timing. A deliberate change to the protocol is then this
# one command, and `git diff` is its review. Run from the project root.
#   system_tests/update_golden.sh [BUILD_DIR]   (default build/dev)
set -euo pipefail
build=${1:-build/dev}
here=$(cd "$(dirname "$0")" && pwd)
for case_file in "$here"/golden/*.case; do
    bash "$here/run_golden.sh" --update "$build/zelk_simulator" "$case_file"
done
for case_file in "$here"/suite_golden/*.case; do
    bash "$here/run_golden.sh" --update "$build/zelk_suite" "$case_file"
done
"$build/zelk_suite" --snapshots=all --cache-dir "$build/suite-cache" "$here/tc" "$here/timing" |
    tail -n 2
