#!/usr/bin/env bash
# zelk_suite --transcripts must write, for every script of the scenario suite, exactly the
# bytes that zelk_simulator prints for it; and every snapshot NAME.out of the suite must be
# exactly what zelk_simulator NAME.zelk prints when run in the script's folder.
#   check_suite_transcripts.sh ZELK_SUITE ZELK_SIMULATOR SUITE_DIR
set -u
suite=$1
simulator=$2
dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$suite" -j 2 --transcripts "$work/out" "$dir" >"$work/report" || true
failed=0
count=0
while IFS= read -r -d '' script; do
    name=${script#"$dir"/}
    name=${name%.zelk}
    "$simulator" "$script" >"$work/expected" 2>/dev/null
    if ! cmp -s "$work/expected" "$work/out/$name.out"; then
        echo "transcript of $script differs from zelk_simulator's (--- simulator, +++ suite):"
        diff -u --text "$work/expected" "$work/out/$name.out" | head -n 40
        failed=1
    fi
    count=$((count + 1))
done < <(find "$dir" -name '*.zelk' -print0 | sort -z)
[ "$count" -gt 0 ] || { echo "no scripts in $dir"; exit 1; }
echo "$count transcripts compared"

snapshots=0
while IFS= read -r -d '' script; do
    snapshot=${script%.zelk}.out
    [ -f "$snapshot" ] || continue
    (cd "$(dirname "$script")" && "$simulator" "$(basename "$script")") >"$work/expected" 2>/dev/null
    if ! cmp -s "$work/expected" "$snapshot"; then
        echo "snapshot $snapshot differs from zelk_simulator's (--- simulator, +++ snapshot):"
        diff -u --text "$work/expected" "$snapshot" | head -n 40
        failed=1
    fi
    snapshots=$((snapshots + 1))
done < <(find "$dir" -name '*.zelk' -print0 | sort -z)
echo "$snapshots snapshots compared"
exit "$failed"
