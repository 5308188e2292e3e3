#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# A whole pixhaul-cli run over a page that names ten million addresses, for its peak memory and
# time: the run walks its list from url_list.txt one line at a time, so its memory should stay
# that of --list-only on the same page, whatever the count. Every address is the same image,
# already in the save folder, so the run starts no download and measures only the list's walk
# (each address is still looked up in the folder and counted); the described waits are set to
# 0. Beside it: --list-only on the same page, and `grep -c` counting the markers as the floor of
# reading the page once. Rounds interleave the three; medians of wall time and peak resident
# memory are printed.
#
#   bench/many_addresses_bench.sh [BUILD_DIR]   (default: build-bench, configured as Release)
#   ROUNDS=3 ADDRESSES=10000000 bench/many_addresses_bench.sh
#   PIXHAUL_CLI=...                             (use a built executable instead of building)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-3}
addresses=${ADDRESSES:-10000000}

cli=${PIXHAUL_CLI:-}
if [[ -z $cli ]]; then
  bench_build "$build" Release pixhaul-cli
  cli=$build/cli/pixhaul-cli
fi

bench_work many-addresses
page=$work/page.html
address=http://127.0.0.1:9/x.jpg
awk -v n="$addresses" -v a="$address" 'BEGIN { for (i = 0; i < n; i++) printf "imgurl:\"%s\" ", a; print "" }' >"$page"
mkdir -p "$work/save"
echo image >"$work/save/$(echo "$address" | tr / _ | tr -d :)"
cat "$page" >/dev/null

# Appends "tool wall maxrss_kib" for one run of a shell command.
run() {
  local tool=$1 command=$2 begin end
  begin=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/time.txt" sh -c "$command" || true
  end=$EPOCHREALTIME
  echo "$tool $(awk -v b="$begin" -v e="$end" 'BEGIN { printf "%.6f", e - b }') $(tail -n 1 "$work/time.txt")" \
    >>"$work/results"
}

for ((r = 1; r <= rounds; r++)); do
  run run "PIXHAUL_TEST_TIMINGS=0,50,0,0,0 '$cli' --save-dir '$work/save' '$page' >'$work/run.out' 2>'$work/run.err'"
  run list-only "'$cli' --list-only --save-dir '$work/save' '$page' >/dev/null"
  run grep "LC_ALL=C grep -o 'imgurl:' '$page' | wc -l >/dev/null"
  echo "round $r of $rounds done" >&2
done
tail -n 1 "$work/run.err" | grep -q "Nothing new: $addresses already in the folder" ||
  { echo "the run did not skip every address:" >&2; tail -n 3 "$work/run.err" >&2; exit 1; }

echo "== $addresses addresses on a $(($(stat -c %s "$page") / 1000000)) MB page, medians of $rounds interleaved rounds"
awk '
  function median(a, k,   i, j, v) {
    for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
    return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
  }
  { t = $1; i = n[t]++; w[t, i] = $2; m[t, i] = $3 }
  END {
    split("run list-only grep", tools, " ")
    names["run"] = "pixhaul-cli (a run)"; names["list-only"] = "pixhaul-cli --list-only"
    names["grep"] = "grep -o | wc -l"
    for (k = 1; k <= 3; k++) {
      t = tools[k]
      for (i = 0; i < n[t]; i++) { ww[i] = w[t, i]; mm[i] = m[t, i] }
      printf "%-24s wall %7.3f s   peak RSS %7.1f MiB\n", names[t], median(ww, n[t]), median(mm, n[t]) / 1024
    }
  }' "$work/results"
