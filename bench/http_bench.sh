#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# The HTTP client against curl, side by side on one loopback server: a 256 MiB body sent with a
# Content-Length and the same body chunked, each fetched by one download worker into a file (the
# worker's own road: the body streamed into a temporary file in the folder, renamed when
# complete), by TIdHTTP::GetInto into a memory stream (the body held whole, as a page fetch
# does), and by `curl -o FILE` and `curl -o /dev/null`; then 10 000 sequential 16 KiB GETs on
# one kept-alive connection by one TIdHTTP client and by one curl process reading the same URLs
# from --config.
# The same cases run over plain http and over https (bench_server's TLS port, with the loopback
# servers' self-signed certificate; the client's TLS intercept attached as the download worker
# attaches it, curl with -k). Every variant runs once per round, rounds interleave the variants
# of all modes, and the medians of the rounds are reported with the median peak resident memory
# of the measured process, one table per mode.
#
#   bench/http_bench.sh [BUILD_DIR]          (default: build-bench, configured as Release)
#   ROUNDS=5 bench/http_bench.sh             (rounds, default 5)
#   MODES="http https" bench/http_bench.sh   (modes to run, default both)
#   HTTP_BENCH=path/to/http_bench BENCH_SERVER=path/to/bench_server
#                                            (use built executables instead of building)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-5}
read -r -a modes <<<"${MODES:-http https}"
for mode in "${modes[@]}"; do
  [[ $mode == http || $mode == https ]] || { echo "unknown mode: $mode" >&2; exit 2; }
done
large=$((256 * 1024 * 1024))
small=16384
count=10000

bench_http_setup "$build" http-bench

for mode in "${modes[@]}"; do
  insecure="" k=""
  [[ $mode == https ]] && insecure=-k k="-k "
  base=$(bench_server_base "$mode")

  for ((i = 0; i < count; i++)); do
    printf 'url = "%s/small/%d"\noutput = "/dev/null"\n' "$base" "$i"
  done >"$work/curl.$mode.config"

  for kind in counted chunked; do
    url=$base/$kind/$large
    bench_add "$mode|$kind pixhaul worker -> file" "$bench worker $url $large $work/worker"
    bench_add "$mode|$kind pixhaul GetInto -> memory" "$bench get $url $large"
    bench_add "$mode|$kind curl ${k}-o FILE" "curl -sS $insecure -o $work/curl.bin $url"
    bench_add "$mode|$kind curl ${k}-o /dev/null" "curl -sS $insecure -o /dev/null $url"
  done
  bench_add "$mode|small pixhaul $count GETs, one client" "$bench many $base/small/ $count $small"
  bench_add "$mode|small curl ${k}$count GETs, --config" \
    "curl -sS $insecure --config $work/curl.$mode.config"
done

bench_run_rounds "$bench" "$rounds"

for mode in "${modes[@]}"; do
  echo "== HTTP client vs curl, loopback $mode, medians of $rounds interleaved rounds"
  for name in "${bench_names[@]}"; do
    [[ ${name%%|*} == "$mode" ]] || continue
    awk -F'\t' -v name="$name" -v large="$large" -v count="$count" '
      BEGIN { n = 0 }
      $1 == name { t[n] = $2; m[n] = $3; n++ }
      function median(a, k,   i, j, v) {
        for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
        return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
      }
      END {
        s = median(t, n); rss = median(m, n) / 1024
        sub(/^[^|]*\|/, "", name)
        if (name ~ /^small/) rate = sprintf("%8.0f requests/s", count / s)
        else rate = sprintf("%8.0f MiB/s     ", large / 1048576 / s)
        printf "%-48s %8.3f s %s  peak RSS %7.1f MiB\n", name, s, rate, rss
      }' "$work/results"
  done
done
