#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# `pixhaul-cli --list-only` on a large saved page, whole process, against the text tools a user
# would reach for: `LC_ALL=C grep -o 'imgurl:.[^"]*' PAGE > FILE` and ripgrep with the same
# pattern. pixhaul-cli does more than either: it copies the page into result_content.txt, writes
# url_list.txt and prints the list; so it is also set against its two parts done by the tools,
# `cp PAGE COPY` followed by the ripgrep search (cp + rg). The page (210 MB with 210 000 Bing
# entries, made by extraction_bench --generate) is read from the page cache by all of them, and
# each copy goes into a fresh folder, as pixhaul's does. Rounds interleave the tools; the medians
# of wall time, CPU time (user + system) and peak resident memory are printed, with the median of
# the rounds' ratios of pixhaul's wall time to that of cp + rg, and every round checks that the
# tools found the same number of addresses.
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

# Appends "tool wall user system maxrss_kib lines" for one run of a shell command; the wall time
# is taken to the microsecond around the whole command (GNU time gives only hundredths), and
# `lines` is "-" for a command that lists nothing.
run() {
  local tool=$1 command=$2 begin end lines=-
  rm -f "$work/out.txt"
  begin=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$work/time.txt" sh -c "$command"
  end=$EPOCHREALTIME
  [[ -e $work/out.txt ]] && lines=$(wc -l <"$work/out.txt")
  echo "$tool $(awk -v b="$begin" -v e="$end" 'BEGIN { printf "%.6f", e - b }') $(cat "$work/time.txt") $lines" \
    >>"$work/results"
  rm -f "$work/out.txt"
}

pattern="'imgurl:.[^\"]*'"
for ((r = 1; r <= rounds; r++)); do
  rm -rf "$work/save"
  run pixhaul "'$cli' --list-only --save-dir '$work/save' '$page' >'$work/out.txt'"
  run grep "LC_ALL=C grep -o $pattern '$page' >'$work/out.txt'"
  run rg "rg -o $pattern '$page' >'$work/out.txt'"
  rm -rf "$work/copy" && mkdir "$work/copy"
  run cp "cp '$page' '$work/copy/page.html'"
  rm -rf "$work/copy" && mkdir "$work/copy"
  run cp+rg "cp '$page' '$work/copy/page.html' && rg -o $pattern '$page' >'$work/out.txt'"
  rm -rf "$work/copy"
  echo "round $r of $rounds done" >&2
done

counts=$(awk '$6 != "-" { print $6 }' "$work/results" | sort -u | wc -l)
((counts == 1)) || { echo "the tools found different numbers of addresses" >&2; cat "$work/results" >&2; exit 1; }

echo "== --list-only on a $megabytes MB page ($(awk 'NR == 1 { print $6 }' "$work/results") addresses), medians of $rounds interleaved rounds"
awk '
  function median(a, k,   i, j, v) {
    for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
    return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
  }
  { t = $1; i = n[t]++; w[t, i] = $2; c[t, i] = $3 + $4; m[t, i] = $5 }
  END {
    split("pixhaul grep rg cp cp+rg", tools, " ")
    names["pixhaul"] = "pixhaul-cli --list-only"; names["grep"] = "LC_ALL=C grep -o > FILE"
    names["rg"] = "rg -o > FILE"; names["cp"] = "cp PAGE COPY"; names["cp+rg"] = "cp + rg -o > FILE"
    for (k = 1; k <= 5; k++) {
      t = tools[k]
      for (i = 0; i < n[t]; i++) { ww[i] = w[t, i]; cc[i] = c[t, i]; mm[i] = m[t, i] }
      printf "%-24s wall %6.3f s   cpu %6.3f s   peak RSS %7.1f MiB\n", names[t], median(ww, n[t]), median(cc, n[t]), median(mm, n[t]) / 1024
    }
    for (i = 0; i < n["pixhaul"]; i++) q[i] = w["pixhaul", i] / w["cp+rg", i]
    printf "pixhaul-cli / (cp + rg): %.2fx (median of the rounds ratios)\n", median(q, n["pixhaul"])
  }' "$work/results"
