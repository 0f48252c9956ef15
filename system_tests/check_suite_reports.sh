#!/usr/bin/env bash
# Script paths are user data: quotes, &, <, >, blanks, line breaks and bytes that are not
# UTF-8 must come out well-formed in the JUnit XML, the coverage JSON and the coverage page
# and Markdown, and the reports must say what happened to each script. The page and the
# Markdown load nothing from anywhere.
#   check_suite_reports.sh ZELK_SUITE
set -u
suite=$1
command -v python3 >/dev/null || { echo "python3 is needed to parse the reports"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/s"
printf 'power\nexpect power on\n' >"$work/s/quote\"amp&lt<gt>.zelk"
printf 'power\nexpect power off\n' >"$work/s/blank and
newline.zelk"
printf 'bogus\n' >"$work/s/$(printf 'bad\377\376utf8\001')].zelk"
printf '# Expected result: FAIL\nbogus\n' >"$work/s/expected fail.zelk"
ln -s "$work/nowhere" "$work/s/dangling'.zelk"

"$suite" --junit "$work/junit.xml" --coverage-json "$work/coverage.json" \
    --coverage-html "$work/coverage.html" --coverage-markdown "$work/coverage.md" "$work/s" \
    >"$work/stdout" 2>"$work/stderr"
status=$?
if [ "$status" -ne 1 ]; then
    echo "exit status $status, expected 1"
    exit 1
fi
python3 - "$work" <<'PY'
import json, sys, xml.etree.ElementTree as ET
work = sys.argv[1]
root = ET.parse(work + "/junit.xml").getroot()
cases = root.findall("./testsuite/testcase")
assert len(cases) == 5, [c.get("name") for c in cases]
failures = {c.get("name"): c.find("failure") for c in cases}
names = sorted(failures)
assert any('quote"amp&lt<gt>' in n for n in names), names
assert any("blank and\nnewline" in n for n in names), names
assert any("bad\ufffd\ufffdutf8\ufffd]" in n for n in names), names
failed = sorted(n.rsplit("/", 1)[-1] for n, f in failures.items() if f is not None)
assert failed == ["bad\ufffd\ufffdutf8\ufffd].zelk", "blank and\nnewline.zelk", "dangling'.zelk"], failed
assert root.get("failures") == "3" and root.get("tests") == "5", root.attrib
for name, failure in failures.items():
    if name.endswith("dangling'.zelk"):
        assert failure.get("message") == "not a script: a dangling link", failure.attrib
    if "newline" in name:
        assert "EXPECT_FAIL line=2 field=power" in failure.text, failure.text
    float(cases[0].get("time"))
coverage = json.load(open(work + "/coverage.json", encoding="utf-8"))
assert coverage["reachable"] == 88 and 0 < coverage["covered"] < 88, coverage["covered"]
assert len(coverage["scripts"]) == 4 and any("\n" in s for s in coverage["scripts"])
assert all(set(t) >= {"state", "event", "hits", "outcomes"} for t in coverage["transitions"])
assert "motorDirection" in coverage["unasserted_fields"]
page = open(work + "/coverage.html", encoding="utf-8").read()
assert 'quote&quot;amp&amp;lt&lt;gt&gt;.zelk' in page, "the path is escaped in the page"
print("reports well-formed")
PY
[ $? -eq 0 ] || exit 1
here=$(dirname "$0")
python3 "$here/check_page.py" html "$work/coverage.html" || exit 1
python3 "$here/check_page.py" markdown "$work/coverage.md" || exit 1
