#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# The current-layout rules against grep -oP and rg -o, side by side on the same generated pages
# in Bing's layout of today: 20 MB with 20 000 results and 200 MB with 200 000, whose scripts
# hold the site's marker, so the marker cuts only script text and the rules give the list. Every
# tool uses the same expression (Bing's first built-in rule) and writes its matches to a file.
# The time ratio of the two pages shows whether the scan stays linear (about 10x for 10x the
# bytes). Then the whole `pixhaul-cli --list-only` process on the 200 MB page, and loading rules
# files of the largest size allowed (1 MiB), which must take under a second.
#
#   bench/rules_scan_bench.sh [BUILD_DIR]      (default: build-bench, configured as RelWithDebInfo)
#   REPEATS=5 bench/rules_scan_bench.sh        (best of REPEATS runs for each tool, default 3)
#   RULES_SCAN_BENCH=... PIXHAUL_CLI=...      (use built executables instead of building)
#
# grep and rg print whole matches, the program its decoded addresses without repeats; the
# counts differ by the repeats and Bing's own thumbnails the page holds on purpose. Output goes
# to files, not /dev/null: GNU grep notices a /dev/null output and stops at the first match.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
repeats=${REPEATS:-3}

bench=${RULES_SCAN_BENCH:-}
cli=${PIXHAUL_CLI:-}
if [[ -z $bench || -z $cli ]]; then
  bench_build "$build" RelWithDebInfo rules_scan_bench pixhaul-cli
  bench=$build/bench/rules_scan_bench
  cli=$build/cli/pixhaul-cli
fi
for tool in grep rg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "rules_scan_bench: $tool is missing" >&2; exit 1; }
done

bench_work rules-bench
expression=$("$bench" --expression)
echo "expression: $expression"

# Best wall time, best CPU time (user + system) and the peak resident memory (KiB) of $repeats
# runs of a command whose output goes to $work/out.
time_tool() {
  local best="" bestCpu="" rss="" timing
  for ((i = 0; i < repeats; i++)); do
    timing=$(/usr/bin/time -f '%e %U %S %M' "$@" 2>&1 >"$work/out" | tail -1)
    read -r best bestCpu rss < <(awk -v t="$timing" -v best="$best" -v cpu="$bestCpu" 'BEGIN {
      split(t, f, " "); w = f[1]; c = f[2] + f[3]
      if (best == "" || w < best) best = w; if (cpu == "" || c < cpu) cpu = c
      printf "%.3f %.3f %d\n", best, cpu, f[4] }')
  done
  echo "$best $bestCpu $rss $(wc -l <"$work/out")"
}

declare -A list listCpu rules rulesCpu greps grepsCpu rgs rgsCpu
for mb in 20 200; do
  page=$work/page-$mb.html
  "$bench" --generate "$page" "$mb" $((mb * 1000))
  cat "$page" >/dev/null
  report=$("$bench" "$page" "$repeats")
  echo "$report"
  list[$mb]=$(sed -n 's/^list .* in \([0-9.]*\) s = .*/\1/p' <<<"$report")
  listCpu[$mb]=$(sed -n 's/^list .*(CPU \([0-9.]*\) s).*/\1/p' <<<"$report")
  rules[$mb]=$(sed -n 's/^rules [^:]*: \([0-9.]*\) s = .*/\1/p' <<<"$report")
  rulesCpu[$mb]=$(sed -n 's/^rules .*(CPU \([0-9.]*\) s).*/\1/p' <<<"$report")
  read -r "greps[$mb]" "grepsCpu[$mb]" rss lines < <(LC_ALL=C time_tool grep -oP "$expression" "$page")
  awk -v t="${greps[$mb]}" -v c="${grepsCpu[$mb]}" -v mb="$mb" -v n="$lines" -v m="$rss" \
    'BEGIN { printf "grep -oP %d MB: %.3f s = %.0f MB/s (CPU %.3f s), %d matches, peak RSS %.1f MiB\n", mb, t, mb / t, c, n, m / 1024 }'
  read -r "rgs[$mb]" "rgsCpu[$mb]" rss lines < <(time_tool rg -o "$expression" "$page")
  awk -v t="${rgs[$mb]}" -v c="${rgsCpu[$mb]}" -v mb="$mb" -v n="$lines" -v m="$rss" \
    'BEGIN { printf "rg -o    %d MB: %.3f s = %.0f MB/s (CPU %.3f s), %d matches, peak RSS %.1f MiB\n", mb, t, mb / t, c, n, m / 1024 }'
done

# The whole process on the 200 MB page: the page copied to result_content.txt, the marker's
# pass, the rules' pass, url_list.txt written and printed.
page=$work/page-200.html
read -r cliWall cliCpu cliRss cliLines < <(time_tool "$cli" --list-only --save-dir "$work/save" "$page")
awk -v t="$cliWall" -v c="$cliCpu" -v n="$cliLines" -v m="$cliRss" \
  'BEGIN { printf "pixhaul-cli --list-only 200 MB: %.3f s = %.0f MB/s (CPU %.3f s), %d addresses, peak RSS %.1f MiB\n", t, 200 / t, c, n, m / 1024 }'

# Rules files of the largest size allowed.
"$bench" --rules-files "$work" >/dev/null
for file in largest literal costly; do
  "$bench" --load-rules "$work/$file.ini" "$repeats" | sed "s|$work/||"
done

echo
echo "== summary (best of $repeats; CPU = user + system, steadier on a busy machine)"
for mb in 20 200; do
  awk -v mb="$mb" -v l="${list[$mb]}" -v lc="${listCpu[$mb]}" -v r="${rules[$mb]}" \
    -v rc="${rulesCpu[$mb]}" -v g="${greps[$mb]}" -v gc="${grepsCpu[$mb]}" -v x="${rgs[$mb]}" \
    -v xc="${rgsCpu[$mb]}" 'BEGIN {
    printf "%4d MB  wall: list %.3f s (%4.0f MB/s)  rules %.3f s (%4.0f MB/s)  grep -oP %.3f s (%4.0f MB/s)  rg -o %.3f s (%4.0f MB/s)\n",
      mb, l, mb / l, r, mb / r, g, mb / g, x, mb / x
    printf "         CPU:  list %.3f s (%4.0f MB/s)  rules %.3f s (%4.0f MB/s)  grep -oP %.3f s (%4.0f MB/s)  rg -o %.3f s (%4.0f MB/s)\n",
      lc, mb / lc, rc, mb / rc, gc, mb / gc, xc, mb / xc }'
done
awk -v a="${list[20]}" -v b="${list[200]}" -v ac="${listCpu[20]}" -v bc="${listCpu[200]}" \
  -v c="${greps[20]}" -v d="${greps[200]}" \
  'BEGIN { printf "200 MB / 20 MB time ratio (linear = 10x): list %.1fx wall, %.1fx CPU; grep %.1fx wall\n",
    b / a, bc / ac, d / c }'
awk -v l="${list[200]}" -v g="${greps[200]}" -v c="$cliWall" \
  'BEGIN { printf "200 MB relative to grep -oP (wall): list %.2fx, pixhaul-cli --list-only %.2fx\n", l / g, c / g }'
