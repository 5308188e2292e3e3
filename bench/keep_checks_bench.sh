#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# What the checks before an image is kept cost: per image (the document check, the header size
# read), the content hash against sha256sum and xxhsum on the same 1 GiB file, the duplicate
# index over 10 000 files of distinct sizes, and a whole pixhaul-cli run of 200 demo images with
# --min-size and --skip-duplicates against the same run without them (waits set to 0, so the
# checks' cost is not hidden behind the run's pacing).
#
#   nice -n 10 bench/keep_checks_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench (RelWithDebInfo, no window). Takes about a minute.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-build-bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXHAUL_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target keep_checks_bench pixhaul-cli pixhaul-demo-server \
  >/dev/null
bench_work keep-checks
bench=$build/bench/keep_checks_bench

echo "== per image"
"$bench" checks

echo "== content hash of a 1 GiB file (from the page cache)"
head -c $((1 << 30)) /dev/urandom >"$work/big"
cat "$work/big" >/dev/null
"$bench" hash "$work/big"
for tool in "xxhsum -H2" sha256sum; do
  /usr/bin/time -f "$tool %e s" $tool "$work/big" >/dev/null
done
rm -f "$work/big"

echo "== the duplicate index over 10 000 files of distinct sizes"
mkdir "$work/folder"
"$bench" folder "$work/folder" 10000
rm -rf "$work/folder"

echo "== pixhaul-cli, 200 demo images, waits 0: filters off, then on"
"$build/demo/pixhaul-demo-server" --images 200 --image-size 148 --stop-after 600 \
  >"$work/server.txt" 2>"$work/server.err" &
bench_server_pid=$!
for _ in $(seq 100); do grep -qx ready "$work/server.txt" && break; sleep 0.1; done
page=$(awk '$1 == "bing" { print $2 }' "$work/server.txt")
for round in 1 2 3; do
  for mode in off on; do
    args=()
    [[ $mode == on ]] && args=(--min-size 100x100 --skip-duplicates)
    rm -rf "$work/save"
    PIXHAUL_TEST_TIMINGS=0,50,100,0,0 /usr/bin/time -f "%e %U %S" -o "$work/time" \
      "$build/cli/pixhaul-cli" "${args[@]}" --save-dir "$work/save" "$page" >/dev/null 2>"$work/err" || true
    read -r wall user system <"$work/time"
    printf '  round %d filters %-3s wall %.2f s  cpu %.2f s  %s\n' "$round" "$mode" "$wall" \
      "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" "$(tail -1 "$work/err")"
  done
done
