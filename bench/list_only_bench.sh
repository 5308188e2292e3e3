#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# `pixhaul-cli --list-only` on a large saved page, whole process, against the text tools a user
# would reach for: `LC_ALL=C grep -o 'imgurl:.[^"]*' PAGE > FILE` and ripgrep with the same
# pattern. pixhaul-cli does more than either: it copies the page into result_content.txt, writes
# url_list.txt and prints the list. The page (210 MB with 210 000 Bing entries, made by
# extraction_bench --generate) is read from the page cache by all three. Rounds interleave the
# tools; the medians of wall time, CPU time (user + system) and peak resident memory are printed,
# and every round checks that the three found the same number of addresses.
#
#   bench/list_only_bench.sh [BUILD_DIR]     (default: build-bench, configured as Release)
#   ROUNDS=5 MEGABYTES=210 bench/list_only_bench.sh
#   EXTRACTION_BENCH=... PIXHAUL_CLI=...    (use built executables instead of building)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-5}
megabytes=${MEGABYTES:-210}

generator=${EXTRACTION_BENCH:-}
cli=${PIXHAUL_CLI:-}
if [[ -z $generator || -z $cli ]]; then
  bench_build "$build" Release extraction_bench pixhaul-cli
  generator=$build/bench/extraction_bench
  cli=$build/cli/pixhaul-cli
fi
command -v rg >/dev/null || { echo "list_only_bench: ripgrep (rg) is not installed" >&2; exit 1; }

bench_work list-only
page=$work/page.html
"$generator" --generate "$page" "$megabytes" $((megabytes * 1000)) >/dev/null
cat "$page" >/dev/null

# Appends "tool wall user system maxrss_kib lines" for one run of a shell command.
run() {
  local tool=$1 command=$2
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" sh -c "$command"
  echo "$tool $(cat "$work/time.txt") $(wc -l <"$work/out.txt")" >>"$work/results"
  rm -f "$work/out.txt"
}

for ((r = 1; r <= rounds; r++)); do
  rm -rf "$work/save"
  run pixhaul "'$cli' --list-only --save-dir '$work/save' '$page' >'$work/out.txt'"
  run grep "LC_ALL=C grep -o 'imgurl:.[^\"]*' '$page' >'$work/out.txt'"
  run rg "rg -o 'imgurl:.[^\"]*' '$page' >'$work/out.txt'"
  echo "round $r of $rounds done" >&2
done

counts=$(awk '{ print $6 }' "$work/results" | sort -u | wc -l)
((counts == 1)) || { echo "the tools found different numbers of addresses" >&2; cat "$work/results" >&2; exit 1; }

echo "== --list-only on a $megabytes MB page ($(awk 'NR == 1 { print $6 }' "$work/results") addresses), medians of $rounds interleaved rounds"
for tool in pixhaul grep rg; do
  awk -v tool="$tool" '
    function median(a, k,   i, j, v) {
      for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
      return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
    }
    BEGIN { n = 0 }
    $1 == tool { w[n] = $2; c[n] = $3 + $4; m[n] = $5; n++ }
    END {
      name = tool == "pixhaul" ? "pixhaul-cli --list-only" : tool == "grep" ? "LC_ALL=C grep -o > FILE" : "rg -o > FILE"
      printf "%-24s wall %6.3f s   cpu %6.3f s   peak RSS %7.1f MiB\n", name, median(w, n), median(c, n), median(m, n) / 1024
    }' "$work/results"
done
