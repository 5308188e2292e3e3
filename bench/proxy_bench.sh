#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Downloads through proxies against curl -x, side by side in one run: a 256 MiB body fetched by
# one download worker into a file and by `curl -o FILE`, direct (http and https), through
# tinyproxy's CONNECT tunnel (https, TLS end to end), through tinyproxy's proxy form (http), and
# through microsocks (socks5h, http and https). The proxies run on 127.0.0.1 with ports the
# system chose and their own configuration in the scratch folder. Every variant runs once per
# round, rounds interleave the variants, and the medians are reported with the median peak
# resident memory of the measured process (the client's, not the proxy's).
#
#   bench/proxy_bench.sh [BUILD_DIR]   (default: build-bench, configured as Release)
#   ROUNDS=3 bench/proxy_bench.sh      (rounds, default 3)
#   HTTP_BENCH=path/to/http_bench BENCH_SERVER=path/to/bench_server
#                                      (use built executables instead of building)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-3}
large=$((256 * 1024 * 1024))
for program in tinyproxy microsocks curl; do
  command -v "$program" >/dev/null || { echo "install $program" >&2; exit 1; }
done

bench_http_setup "$build" proxy-bench
proxy_pids=()
stop_proxies() {
  for pid in "${proxy_pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  bench_cleanup
}
trap stop_proxies EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  exit 1
}
tinyproxy_port=$(free_port)
cat >"$work/tinyproxy.conf" <<CONF
Port $tinyproxy_port
Listen 127.0.0.1
Timeout 600
MaxClients 100
Allow 127.0.0.1
LogLevel Warning
CONF
tinyproxy -d -c "$work/tinyproxy.conf" >/dev/null 2>&1 &
proxy_pids+=($!)
socks_port=$(free_port)
microsocks -i 127.0.0.1 -p "$socks_port" >/dev/null 2>&1 &
proxy_pids+=($!)
wait_port "$tinyproxy_port"
wait_port "$socks_port"
tinyproxy=http://127.0.0.1:$tinyproxy_port
socks=socks5h://127.0.0.1:$socks_port

for mode in http https; do
  k=""
  [[ $mode == https ]] && k="-k "
  url=$(bench_server_base "$mode")/counted/$large
  bench_add "$mode direct|pixhaul worker" "$bench worker $url $large $work/worker"
  bench_add "$mode direct|curl ${k}-o FILE" "curl -sS ${k}-o $work/curl.bin $url"
  via="tinyproxy tunnel"
  [[ $mode == http ]] && via="tinyproxy proxy form"
  bench_add "$mode $via|pixhaul worker --proxy" "env PIXHAUL_BENCH_PROXY=$tinyproxy $bench worker $url $large $work/worker"
  bench_add "$mode $via|curl ${k}-x http:// -o FILE" "curl -sS ${k}-x $tinyproxy -o $work/curl.bin $url"
  bench_add "$mode microsocks socks5h|pixhaul worker --proxy" "env PIXHAUL_BENCH_PROXY=$socks $bench worker $url $large $work/worker"
  bench_add "$mode microsocks socks5h|curl ${k}-x socks5h:// -o FILE" "curl -sS ${k}-x $socks -o $work/curl.bin $url"
done

bench_run_rounds "$bench" "$rounds"

echo "== 256 MiB through proxies vs curl -x, loopback, medians of $rounds interleaved rounds"
for name in "${bench_names[@]}"; do
  awk -F'\t' -v name="$name" -v large="$large" '
    BEGIN { n = 0 }
    $1 == name { t[n] = $2; m[n] = $3; n++ }
    function median(a, k,   i, j, v) {
      for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
      return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
    }
    END {
      s = median(t, n); rss = median(m, n) / 1024
      split(name, part, "|")
      printf "%-30s %-34s %7.3f s %7.0f MiB/s  peak RSS %6.1f MiB\n", part[1], part[2], s,
             large / 1048576 / s, rss
    }' "$work/results"
done
