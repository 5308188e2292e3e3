#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# A whole pixhaul-cli run over large bodies, against curl: a saved Bing page of 51 addresses,
# each a 64 MiB body from a loopback server (every other one over https, counted and chunked
# bodies alternating), fetched by pixhaul-cli with its real timings (so all 51 workers are live
# at once) and by curl with 51 transfers at once. Rounds interleave the two tools; the medians of
# wall time, CPU time (user + system) and peak resident memory are printed, and every round checks
# that both saved all 51 files at their full size with the same bytes.
#
#   bench/cli_large_bench.sh [BUILD_DIR]     (default: build-bench, configured as Release)
#   ROUNDS=5 IMAGES=51 BODY=67108864 bench/cli_large_bench.sh
#   BENCH_SERVER=... PIXHAUL_CLI=...        (use built executables instead of building)
#
# Needs about 2 x IMAGES x BODY bytes of free space under TMPDIR while a round runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-5}
images=${IMAGES:-51}
body=${BODY:-67108864}

server_program=${BENCH_SERVER:-}
cli=${PIXHAUL_CLI:-}
if [[ -z $server_program || -z $cli ]]; then
  bench_build "$build" Release bench_server pixhaul-cli
  server_program=$build/bench/bench_server
  cli=$build/cli/pixhaul-cli
fi

bench_work cli-large
bench_start_server "$server_program"

# The page, and curl's list of the same addresses saved under the names pixhaul gives them.
for ((i = 0; i < images; i++)); do
  if ((i % 2)); then scheme=https; else scheme=http; fi
  if ((i % 4 < 2)); then kind=counted; else kind=chunked; fi
  url="$(bench_server_base "$scheme")/$kind/$body/$i"
  printf '<a m="x" imgurl:"%s" />\n' "$url" >>"$work/page.html"
  printf 'url = "%s"\noutput = "%s"\n' "$url" "$(printf '%s' "$url" | tr '/' '_' | tr -d ':')"
done >"$work/curl.cfg"

# Prints "wall user system maxrss_kib" of one command.
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1
  cat "$work/time.txt"
}

check() {
  local folder=$1 count
  count=$(find "$folder" -name 'http*' -size "${body}c" | wc -l)
  if ((count != images)); then
    echo "$2 saved $count of $images files at full size" >&2
    exit 1
  fi
}

for ((r = 1; r <= rounds; r++)); do
  rm -rf "$work/pixhaul" "$work/curl"
  echo "pixhaul $(measure "$cli" --save-dir "$work/pixhaul" "$work/page.html")" >>"$work/results"
  # Workers that end after the run's closing steps log nothing, so the files are what counts.
  check "$work/pixhaul" pixhaul-cli
  pixhaul_sum=$(cd "$work/pixhaul" && md5sum http* | sort | md5sum)
  rm -rf "$work/pixhaul"
  mkdir "$work/curl"
  echo "curl $(cd "$work/curl" && measure curl --parallel --parallel-max 51 -s -k -K "$work/curl.cfg")" \
    >>"$work/results"
  check "$work/curl" curl
  curl_sum=$(cd "$work/curl" && md5sum http* | sort | md5sum)
  [[ $pixhaul_sum == "$curl_sum" ]] || { echo "the two tools saved different bytes" >&2; exit 1; }
  rm -rf "$work/curl"
  echo "round $r of $rounds done" >&2
done

echo "== $images bodies of $((body / 1048576)) MiB from loopback (half https), medians of $rounds interleaved rounds"
for tool in pixhaul curl; do
  awk -v tool="$tool" '
    function median(a, k,   i, j, v) {
      for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
      return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
    }
    BEGIN { n = 0 }
    $1 == tool { w[n] = $2; c[n] = $3 + $4; m[n] = $5; n++ }
    END {
      name = tool == "pixhaul" ? "pixhaul-cli (51 workers)" : "curl --parallel-max 51"
      printf "%-26s wall %7.2f s   cpu %7.2f s   peak RSS %8.1f MiB\n", name, median(w, n), median(c, n), median(m, n) / 1024
    }' "$work/results"
done
