#!/usr/bin/env bash
# The flags of a test runner, as a user runs them: --list after filters and shards, -k and
# --exclude (substring and glob), -x and the closing line with skipped scripts,
# --last-failed across two runs, --durations, JUnit grouped by folder, and the snapshot
# lines of a report (written, differs with a diff, obsolete), coloured only on a terminal.
#   check_suite_flags.sh ZELK_SUITE
set -u
suite=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p s/tc s/timing
printf 'power\nexpect power on\n' >s/tc/a_pass.zelk
printf 'power\njump\n' >s/tc/b_fail.zelk
printf 'power\nexpect power on\n' >s/tc/c_pass.zelk
printf 'power\nwait 5s\n' >s/timing/d_wait.zelk
failed=0
expect() {  # expect WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'wrong %s:\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
        failed=1
    fi
}
contains() {  # contains WHAT NEEDLE TEXT
    case "$3" in
        *"$2"*) ;;
        *) printf 'missing (%s): %s\nin:\n%s\n' "$1" "$2" "$3"; failed=1 ;;
    esac
}

expect list "$(printf 's/tc/a_pass.zelk\ns/tc/b_fail.zelk\ns/tc/c_pass.zelk\ns/timing/d_wait.zelk')" \
    "$("$suite" --list s)"
expect filter "s/tc/a_pass.zelk" "$("$suite" --list -k a_pass s)"
expect repeated-filters "$(printf 's/tc/a_pass.zelk\ns/timing/d_wait.zelk')" \
    "$("$suite" --list -k a_pass --filter wait s)"
expect glob "s/timing/d_wait.zelk" "$("$suite" --list -k '*/timing/*' s)"
expect exclude "$(printf 's/tc/a_pass.zelk\ns/tc/c_pass.zelk')" \
    "$("$suite" --list -k tc --exclude b_ s)"
expect shard-after-filter "$(printf 's/tc/b_fail.zelk\ns/tc/c_pass.zelk')" \
    "$("$suite" --list -k tc --shard 2/2 s)"

out=$("$suite" -j1 -x s)
expect fail-fast-status 1 $?
expect fail-fast-closing "1 passed, 1 failed, 2 skipped" "$(tail -n 1 <<<"$out")"
expect no-skipped "3 passed, 1 failed" "$("$suite" -j1 s | tail -n 1)"

# --last-failed: a first run records b_fail; the next runs only it; once mended, all again.
rm -rf cache
"$suite" --cache-dir cache s >/dev/null
expect last-failed-only "0 passed, 1 failed" "$("$suite" --cache-dir cache --last-failed s | tail -n 1)"
printf 'power\n' >s/tc/b_fail.zelk
expect last-failed-mended "1 passed, 0 failed" "$("$suite" --cache-dir cache --last-failed s | tail -n 1)"
expect last-failed-none-left "4 passed, 0 failed" \
    "$("$suite" --cache-dir cache --last-failed s | tail -n 1)"
expect no-record "4 passed, 0 failed" "$("$suite" --cache-dir nowhere --last-failed s | tail -n 1)"
: >cache-file
contains unwritable-record "warning: cannot keep the record" \
    "$("$suite" --cache-dir cache-file/sub s 2>&1 >/dev/null)"

durations=$("$suite" --durations 2 s)
contains durations "slowest 2 scripts:" "$durations"
expect duration-lines 2 "$(grep -c '^  [0-9.]* s  s/' <<<"$durations")"

"$suite" --junit junit.xml s >/dev/null
contains junit-classname 'classname="s.tc" name="s/tc/a_pass.zelk"' "$(cat junit.xml)"
contains junit-classname-timing 'classname="s.timing"' "$(cat junit.xml)"

# Snapshots: written, then one changed and one orphaned.
contains wrote "wrote 4 new snapshots, updated 0" "$("$suite" --snapshots=new s)"
sed -i 's/power=on/power=ON/' s/tc/a_pass.out
cp s/tc/c_pass.out s/tc/gone.out
report=$("$suite" s)
contains differs "FAIL s/tc/a_pass.zelk: transcript differs from a_pass.out" "$report"
contains diff-removed "-STATE power=ON" "$report"
contains diff-added "+STATE power=on" "$report"
contains obsolete "obsolete snapshot: s/tc/gone.out (its script is gone)" "$report"
case "$report" in *$'\033['*) echo "colour codes in a report that is not on a terminal"; failed=1 ;; esac
if command -v script >/dev/null; then
    coloured=$(script -qec "$suite s" /dev/null)
    contains colour $'\033[31m-STATE power=ON' "$coloured"
fi
contains updated "wrote 0 new snapshots, updated 1" "$("$suite" --snapshots=all s)"

[ "$failed" -eq 0 ] && echo "flags behave as they should"
exit "$failed"
