#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Whole-run benchmark of pixhaul-cli with its real timings (100 ms start pause, 51 live workers
# at most, 5000 ms grace period): one Bing result page of 500 images of about 64 KiB each,
# served by pixhaul-demo-server on 127.0.0.1 (a third over https, some through a redirect).
# Side by side, curl fetches the same address list with as many transfers at once (51).
#
#   nice -n 10 bench/cli_run_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-cli-bench (configured RelWithDebInfo, no GUI). IMAGES and
# IMAGE_SIZE (pixels a side; 148 gives 64.3 KiB stored PNGs) change the page. Prints, for both
# tools, wall time, CPU time (user + system) and peak resident memory; for pixhaul-cli also the
# wall-time floor its pacing sets (IMAGES x 100 ms + 5 s), the peak thread count (sampled every
# 10 ms) and a check that both tools saved byte-identical images. Takes about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-cli-bench}
images=${IMAGES:-500}
size=${IMAGE_SIZE:-148}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXHAUL_BUILD_GUI=OFF \
  -DPIXHAUL_BUILD_TESTS=OFF -DPIXHAUL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target pixhaul-cli pixhaul-demo-server >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$build/demo/pixhaul-demo-server" --images "$images" --image-size "$size" --stop-after 900 \
  >"$work/server.txt" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do grep -qx ready "$work/server.txt" && break; sleep 0.1; done
page=$(awk '$1 == "bing" { print $2 }' "$work/server.txt")
[[ -n $page ]] || { echo "cli_run_bench: the demo server did not start" >&2; exit 1; }

# Runs a command under GNU time, sampling the thread count of the measured process.
# Prints "wall user system maxrss_kib peak_threads".
measure() {
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$out" 2>&1 &
  local time_pid=$! child= peak=0 threads
  while kill -0 "$time_pid" 2>/dev/null; do
    [[ -z $child ]] && child=$(pgrep -P "$time_pid" | head -1 || true)
    if [[ -n $child ]]; then
      threads=$(awk '/^Threads:/ { print $2 }' "/proc/$child/status" 2>/dev/null || echo 0)
      ((threads > peak)) && peak=$threads
    fi
    sleep 0.01
  done
  wait "$time_pid"
  echo "$(cat "$work/time.txt") $peak"
}

echo "== pixhaul-cli: $images images of $(($(curl -s "${page%/bing.html}/img/0.png" | wc -c) / 1024)) KiB, real timings"
read -r wall user system rss threads < <(measure "$work/cli.out" \
  "$build/cli/pixhaul-cli" --save-dir "$work/pixhaul" "$page")
floor=$(awk -v n="$images" 'BEGIN { printf "%.1f", n * 0.1 + 5 }')
ok=$(grep -c ': OK$' "$work/cli.out" || true)
printf '  wall %6.1f s   (floor %s s, overhead %.1f s)\n' "$wall" "$floor" \
  "$(awk -v w="$wall" -v f="$floor" 'BEGIN { print w - f }')"
printf '  cpu  %6.2f s   (user %.2f, system %.2f)\n' "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" "$user" "$system"
printf '  peak RSS %d KiB, peak threads %d, %d of %d lines OK\n' "$rss" "$threads" "$ok" "$images"

echo "== curl: the same $images addresses, 51 transfers at once"
"$build/cli/pixhaul-cli" --list-only --save-dir "$work/list" "$page" >"$work/urls.txt"
mkdir -p "$work/curl"
# One output name per address, made the way pixhaul names files, so the two folders compare.
while read -r url; do
  printf 'url = "%s"\noutput = "%s/%s"\n' "$url" "$work/curl" "$(printf '%s' "$url" | tr '/' '_' | tr -d ':')"
done <"$work/urls.txt" >"$work/curl.cfg"
read -r cwall cuser csystem crss cthreads < <(measure "$work/curl.out" \
  curl --parallel --parallel-max 51 -s -k -L -K "$work/curl.cfg")
printf '  wall %6.1f s\n' "$cwall"
printf '  cpu  %6.2f s   (user %.2f, system %.2f)\n' "$(awk -v u="$cuser" -v s="$csystem" 'BEGIN { print u + s }')" "$cuser" "$csystem"
printf '  peak RSS %d KiB, peak threads %d\n' "$crss" "$cthreads"

echo "== saved images"
pixhaul_sums=$(cd "$work/pixhaul" && md5sum ./http* | sort)
curl_sums=$(cd "$work/curl" && md5sum ./http* | sort)
if [[ $pixhaul_sums == "$curl_sums" ]]; then
  echo "  identical: $(wc -l <<<"$pixhaul_sums") files"
else
  echo "  DIFFERENT: pixhaul $(wc -l <<<"$pixhaul_sums") files, curl $(wc -l <<<"$curl_sums") files"
  exit 1
fi
