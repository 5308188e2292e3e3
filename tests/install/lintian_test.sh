#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# lintian_test.sh BUILD_DIR PACKAGE_VERSION
# Builds the Debian package with CPack and runs lintian on it: any error (E:) or warning (W:)
# fails; informational, pedantic and overridden (O:) tags are shown. Exits 77 (skipped) where lintian is not installed.
set -euo pipefail
build=$1
version=$2
command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
deb=$work/out/pixhaul_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no package named $(basename "$deb"): $(ls "$work/out")"
# lintian exits 1 for errors (and warnings are not in its status at all), so its lines are
# judged here; any other status is lintian failing to run.
status=0
lintian --info --display-level '>=pedantic' --show-overrides "$deb" >"$work/lintian.txt" 2>&1 || status=$?
cat "$work/lintian.txt"
[[ $status -le 1 ]] || fail "lintian failed to run (status $status)"
if grep -qE '^[EW]: ' "$work/lintian.txt"; then
  fail "lintian reports errors or warnings"
fi
# The package's own overrides were read: the one for the manual is shown as overridden.
grep -q '^O: pixhaul: package-contains-documentation-outside-usr-share-doc' "$work/lintian.txt" ||
  fail "lintian did not apply the package's overrides"
echo "lintian: no error, no warning"
