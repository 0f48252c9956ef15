#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it with lintian, where lintian is
# installed (.ci/install-deps installs it).
#   package_test.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
deb=$(find "$work" -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || { echo "no package built"; cat "$work/cpack.log"; exit 1; }
dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/bin/zelk_simulator ./usr/bin/zelk_suite ./usr/bin/zelk_app \
    ./usr/share/man/man1/zelk_suite.1.gz ./usr/share/doc/zelk/copyright; do
    grep -q " $path\$" "$work/contents" || { echo "$path is missing from $deb"; exit 1; }
done
if ! command -v lintian >/dev/null; then
    echo "lintian is not installed: $(basename "$deb") built, not checked"
    exit 0
fi
# Every tag counts, warnings and information included; overridden tags are not shown.
lintian --info --fail-on error,warning,info "$deb" 2>/dev/null
status=$?
[ "$status" -eq 0 ] && echo "lintian: $(basename "$deb") is clean"
exit "$status"
