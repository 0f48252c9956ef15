#!/usr/bin/env bash
# The Mermaid diagram in the documentation must be the one zelk_suite derives from the code.
#   check_state_diagram.sh ZELK_SUITE DOC
set -u
suite=$1
doc=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$suite" --state-diagram >"$work/generated" || exit 1
# The lines between the first ```mermaid fence and its closing fence.
awk '/^```mermaid$/ { inside = 1; next } inside && /^```$/ { exit } inside { print }' \
    "$doc" >"$work/committed"
if ! cmp -s "$work/generated" "$work/committed"; then
    echo "$doc is out of date (--- committed, +++ generated); regenerate with:"
    echo "  zelk_suite --state-diagram"
    diff -u "$work/committed" "$work/generated"
    exit 1
fi
echo "state diagram up to date"
