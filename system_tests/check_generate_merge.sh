#!/usr/bin/env bash
# zelk_suite --generate and --merge-coverage as CI uses them.
#   check_generate_merge.sh ZELK_SUITE SUITE_DIR
# 1. From nothing, and from a part of SUITE_DIR: the generated scripts pass, the suite with
#    them covers every pair and outcome, a second run writes the same bytes, and from nothing
#    the events are at most 1.5 per outcome. A folder that is not empty, is a file, or lies
#    under a file is refused with status 2 before anything runs; --force writes into it.
#    Failing scripts still count, and the message says so.
# 2. SUITE_DIR in three shards merged equals one run over it: the JSON byte for byte, the text,
#    and the gate. A file that is not coverage JSON, one from another reachable set and a
#    script counted twice are refused with status 2.
set -u
suite=$1
scripts=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
expect_status() {  # expect_status WANTED WHAT COMMAND...
    local wanted=$1 what=$2
    shift 2
    "$@" >"$work/out" 2>"$work/err"
    local status=$?
    if [ "$status" -ne "$wanted" ]; then
        fail "$what: exit status $status, expected $wanted"
        cat "$work/out" "$work/err"
    fi
}

# ---- 1. Generation
expect_status 0 "generation from nothing" "$suite" --generate "$work/g1"
summary=$(head -n 1 "$work/out")
case $summary in
"generated "*" scripts with "*" events into $work/g1: they exercise the 105 reachable outcomes"*) ;;
*) fail "summary line: $summary" ;;
esac
events=$(sed -n 's/^generated [0-9]* scripts\{0,1\} with \([0-9]*\) events.*/\1/p' <<<"$summary")
if [ -z "$events" ] || [ $((2 * events)) -gt $((3 * 105)) ]; then
    fail "from nothing, $events events for 105 outcomes: more than 1.5 per outcome"
fi
expect_status 0 "the generated scripts" "$suite" --coverage --outcomes-fail-under 100 \
    --coverage-fail-under 100 "$work/g1"
grep -q '^outcomes covered: 105/105 (100%)$' "$work/out" || fail "generated: $(tail -3 "$work/out")"
head -n 4 "$work/g1/generated_001.zelk" | grep -q '^# covers: ' ||
    fail "a generated script opens with what it covers"

expect_status 0 "a second generation" "$suite" --generate "$work/g2"
diff -r "$work/g1" "$work/g2" >/dev/null || fail "two generations differ"

mkdir "$work/part"
for script in "$scripts"/TC0*.zelk; do
    cp "$script" "$work/part/"
done
expect_status 0 "generation from a part" "$suite" --generate "$work/gp" "$work/part"
grep -q "reachable outcomes the suite did not" "$work/out" || fail "partial: $(cat "$work/out")"
expect_status 0 "a part and its generated scripts" "$suite" --outcomes-fail-under 100 \
    --coverage-fail-under 100 "$work/part" "$work/gp"

expect_status 0 "a complete suite" "$suite" --generate "$work/none" "$scripts"
grep -q "^nothing to generate: the suite exercises all 105 reachable outcomes$" "$work/out" ||
    fail "complete suite: $(cat "$work/out")"
[ ! -e "$work/none" ] || fail "nothing to generate, yet the folder was made"

# Refusals, before anything runs: no suite summary.
touch "$work/file"
for dir in "$work/g1" "$work/file" "$work/file/sub"; do
    expect_status 2 "generate into $dir" "$suite" --generate "$dir" "$work/part"
    grep -q "^zelk_suite: cannot generate into $dir: " "$work/err" || fail "message: $(cat "$work/err")"
    ! grep -q "passed" "$work/out" || fail "the suite ran before $dir was refused"
done
expect_status 0 "--force" "$suite" --generate "$work/g1" --force
diff -r "$work/g1" "$work/g2" >/dev/null || fail "--force wrote other bytes"

mkdir "$work/failing"
printf 'power\nexpect mode NormalMode\n' >"$work/failing/wrong.zelk"
expect_status 1 "generation from a failing suite" "$suite" --generate "$work/gf" "$work/failing"
grep -q "did not pass; what they exercised still counts for coverage" "$work/err" ||
    fail "failing suite: $(cat "$work/err")"
grep -q "they exercise the 104 reachable outcomes" "$work/out" || fail "failing: $(cat "$work/out")"

# ---- 2. Merge
expect_status 0 "unsharded" "$suite" --coverage --coverage-json "$work/whole.json" "$scripts"
grep -v ' passed, ' "$work/out" >"$work/whole.txt"
for k in 1 2 3; do
    expect_status 0 "shard $k/3" "$suite" --shard "$k/3" --coverage-json "$work/s$k.json" "$scripts"
done
expect_status 0 "merge" "$suite" --merge-coverage "$work/s1.json" "$work/s3.json" "$work/s2.json" \
    --coverage --coverage-json "$work/merged.json" --coverage-fail-under 100 --outcomes-fail-under 100
cmp -s "$work/whole.json" "$work/merged.json" || fail "merged JSON differs from the unsharded"
cmp -s "$work/whole.txt" "$work/out" || fail "merged text differs: $(diff "$work/whole.txt" "$work/out")"
expect_status 1 "merge of two shards, gated" "$suite" --merge-coverage "$work/s1.json" \
    "$work/s2.json" --coverage-fail-under 100
grep -q "^zelk_suite: transitions covered .* under the 100% required$" "$work/err" ||
    fail "gate: $(cat "$work/err")"

printf 'not json\n' >"$work/text.json"
printf '{"tests": 3}\n' >"$work/other.json"
sed '0,/"reachable": true/s//"reachable": false/' "$work/s1.json" >"$work/build.json"
for refused in "text.json:not a coverage report" "other.json:not a coverage report" \
    "build.json:another reachable set" "s1.json:counted by both"; do
    file=${refused%%:*}
    expect_status 2 "merge with $file" "$suite" --merge-coverage "$work/s1.json" "$work/$file"
    grep -q "^zelk_suite: cannot merge the coverage: .*${refused#*:}" "$work/err" ||
        fail "$file: $(cat "$work/err")"
done

[ "$failed" -eq 0 ] && echo "generation and merge as CI uses them"
exit "$failed"
