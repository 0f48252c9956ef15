#!/usr/bin/env bash
# Runs one golden case and compares standard output, standard error and the exit status
# with the recorded ones, byte for byte; with --update, records them instead (the review is
# then `git diff`).
#
#   run_golden.sh [--update] PROGRAM CASE_FILE
#
# CASE_FILE is a bash fragment that may set `args` (the program's arguments, an array) and
# `stdin` (a file fed to standard input; /dev/null by default). Beside it: NAME.stdout,
# NAME.status, and NAME.stderr when something is expected there.
set -u
update=0
if [ "${1:-}" = --update ]; then
    update=1
    shift
fi
program=$1
case_file=$2
dir=$(dirname "$case_file")
name=$(basename "$case_file" .case)

args=()
stdin=/dev/null
# shellcheck disable=SC1090
source "$case_file"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$program" "${args[@]}" <"$stdin" >"$work/stdout" 2>"$work/stderr"
echo "$?" >"$work/status"

expected_stderr="$dir/$name.stderr"
if [ "$update" -eq 1 ]; then
    changed=0
    for stream in stdout stderr status; do
        target="$dir/$name.$stream"
        if [ "$stream" = stderr ] && [ ! -s "$work/stderr" ]; then
            [ -f "$target" ] && { rm "$target"; changed=1; }
            continue
        fi
        cmp -s "$work/$stream" "$target" 2>/dev/null || { cp "$work/$stream" "$target"; changed=1; }
    done
    [ "$changed" -eq 0 ] || echo "updated $name"
    exit 0
fi
[ -f "$expected_stderr" ] || expected_stderr=/dev/null

failed=0
for stream in stdout stderr status; do
    expected="$dir/$name.$stream"
    [ "$stream" = stderr ] && expected=$expected_stderr
    if ! cmp -s "$expected" "$work/$stream"; then
        echo "golden $name: $stream differs (--- expected, +++ actual):"
        diff -u --text "$expected" "$work/$stream" | head -n 60
        failed=1
    fi
done
exit "$failed"
