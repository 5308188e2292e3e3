#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Address extraction against grep, side by side on the same generated pages: a 20 MB page with
# 20 000 Bing markers and a 200 MB page with 200 000. The time ratio of the two shows whether
# the extraction stays linear (about 10x for 10x the bytes).
#
#   bench/extraction_bench.sh [BUILD_DIR]      (default: build-bench, configured as RelWithDebInfo)
#   REPEATS=5 bench/extraction_bench.sh        (best of REPEATS runs for each tool, default 3)
#   EXTRACTION_BENCH=path/to/extraction_bench   (use a built executable instead of building)
#
# grep's output goes to a file, not /dev/null: GNU grep notices a /dev/null output and stops at
# the first match, which would time nothing. Both tools read the page from the page cache.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
repeats=${REPEATS:-3}

bench=${EXTRACTION_BENCH:-}
if [[ -z $bench ]]; then
  bench_build "$build" RelWithDebInfo extraction_bench
  bench=$build/bench/extraction_bench
fi

bench_work extraction-bench

# Best wall time and best CPU time (user + system), in seconds, of $repeats runs of grep
# writing its matches to a file.
time_grep() {
  local page=$1 best="" bestCpu="" timing
  for ((i = 0; i < repeats; i++)); do
    timing=$({ TIMEFORMAT='%R %U %S'; time LC_ALL=C grep -o 'imgurl:.[^"]*' "$page" >"$work/grep.out"; } 2>&1)
    read -r best bestCpu < <(awk -v t="$timing" -v best="$best" -v cpu="$bestCpu" 'BEGIN {
      split(t, f, " "); w = f[1]; c = f[2] + f[3]
      if (best == "" || w < best) best = w; if (cpu == "" || c < cpu) cpu = c
      printf "%.3f %.3f\n", best, cpu }')
  done
  echo "$best $bestCpu"
}

declare -A ours oursCpu greps grepsCpu
for mb in 20 200; do
  page=$work/page-$mb.txt
  "$bench" --generate "$page" "$mb" $((mb * 1000))
  cat "$page" >/dev/null
  report=$("$bench" "$page" "$repeats")
  echo "$report"
  ours[$mb]=$(sed -n 's/^extraction .* in \([0-9.]*\) s = .*/\1/p' <<<"$report")
  oursCpu[$mb]=$(sed -n 's/^extraction .*(CPU \([0-9.]*\) s).*/\1/p' <<<"$report")
  read -r "greps[$mb]" "grepsCpu[$mb]" < <(time_grep "$page")
  awk -v t="${greps[$mb]}" -v c="${grepsCpu[$mb]}" -v mb="$mb" -v n="$(wc -l <"$work/grep.out")" \
    'BEGIN { printf "grep -o %d MB: %.3f s = %.0f MB/s (CPU %.3f s), %d matches\n", mb, t, mb / t, c, n }'
done

echo
echo "== summary (best of $repeats; CPU = user + system, steadier on a busy machine)"
for mb in 20 200; do
  awk -v mb="$mb" -v o="${ours[$mb]}" -v g="${greps[$mb]}" -v oc="${oursCpu[$mb]}" \
    -v gc="${grepsCpu[$mb]}" 'BEGIN {
    printf "%4d MB  wall: extraction %.3f s (%4.0f MB/s)  grep %.3f s (%4.0f MB/s)  ratio %.2fx\n",
      mb, o, mb / o, g, mb / g, o / g
    printf "         CPU:  extraction %.3f s (%4.0f MB/s)  grep %.3f s (%4.0f MB/s)  ratio %.2fx\n",
      oc, mb / oc, gc, mb / gc, oc / gc }'
done
awk -v a="${ours[20]}" -v b="${ours[200]}" -v c="${greps[20]}" -v d="${greps[200]}" \
  -v ac="${oursCpu[20]}" -v bc="${oursCpu[200]}" \
  'BEGIN { printf "200 MB / 20 MB time ratio (linear = 10x): extraction %.1fx wall, %.1fx CPU; grep %.1fx wall\n",
    b / a, bc / ac, d / c }'
