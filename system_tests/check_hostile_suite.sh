#!/usr/bin/env bash
# A hostile suite costs nothing else: a passing script, a FIFO, a link to /dev/zero, a
# dangling link and a script of 100,000 bad lines, run under a 2 GB address-space limit.
# zelk_suite must finish, report 1 passed and 4 failed, say for each bad file why, and show
# a bounded number of problem lines. Then the same bad inputs named as arguments: a pipe
# runs, /dev/zero fails with its line too long.
#   check_hostile_suite.sh ZELK_SUITE [LIMIT_KB]
# LIMIT_KB is the address-space limit (ulimit -v), 2000000 by default; a sanitizer's build,
# which reserves terabytes of shadow memory, passes "unlimited".
set -u
suite=$1
limit=${2:-2000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/s"
printf 'power\nexpect power on\n' >"$work/s/a_pass.zelk"
mkfifo "$work/s/fifo.zelk"
ln -s /dev/zero "$work/s/zero.zelk"
ln -s "$work/nowhere" "$work/s/dangling.zelk"
for _ in $(seq 100000); do echo jump; done >"$work/s/bad_lines.zelk"

failed=0
check() {  # check WHAT PATTERN FILE
    if ! grep -q -F -- "$2" "$3"; then
        echo "missing ($1): $2"
        failed=1
    fi
}

(ulimit -v "$limit" && timeout 60 "$suite" -j 2 "$work/s") >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1"; failed=1; }
check summary "1 passed, 4 failed" "$work/out"
check fifo "FAIL $work/s/fifo.zelk: not a script: a FIFO" "$work/out"
check zero "FAIL $work/s/zero.zelk: not a script: a character device" "$work/out"
check dangling "FAIL $work/s/dangling.zelk: not a script: a dangling link" "$work/out"
check bad "FAIL $work/s/bad_lines.zelk: expected RESULT PASS, got RESULT FAIL" "$work/out"
check bounded "... and 99990 more" "$work/out"
lines=$(wc -l <"$work/out")
[ "$lines" -le 30 ] || { echo "the report has $lines lines"; failed=1; }

# Named as arguments: a pipe is a script; /dev/zero is one endless line.
(ulimit -v "$limit" && timeout 60 "$suite" <(printf 'power\nexpect power on\n') /dev/zero) \
    >"$work/named" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || { echo "named: exit status $status, expected 1"; failed=1; }
check named-summary "1 passed, 1 failed" "$work/named"
check named-zero "FAIL /dev/zero: line 1 is longer than the longest line a script may have" \
    "$work/named"
check named-zero-error "/dev/zero:1: ERROR line=1 line too long" "$work/named"

if [ "$failed" -ne 0 ]; then
    echo "--- report"; head -n 40 "$work/out"; echo "--- named"; cat "$work/named"
    exit 1
fi
echo "hostile suite reported as it should"
