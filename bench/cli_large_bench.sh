#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Whole pixhaul-cli processes against curl, side by side on one loopback server, in two parts:
#
# single: one download per process with the described waits set to 0 (PIXHAUL_TEST_TIMINGS), so
#   that what is measured is the download and the run's start and end: a one-image run of a small
#   image (16 KiB) and runs of one 256 MiB body over http and over https, each against
#   `curl -o FILE` (curl -k over https) on the same address. Each round runs the two tools back
#   to back (in turns first); printed are the medians of wall time and peak resident memory, the
#   median of the rounds' differences and of their ratios (curl's time / pixhaul's, so above 1.0
#   is faster than curl).
# large: a saved Bing page of 51 addresses, each a 64 MiB body (every other one over https,
#   counted and chunked bodies alternating), fetched by pixhaul-cli with its real timings (so all
#   51 workers are live at once) and by curl with 51 transfers at once. Every round checks that
#   both saved all 51 files at their full size with the same bytes; the medians of wall time, CPU
#   time (user + system) and peak resident memory are printed.
#
#   bench/cli_large_bench.sh [BUILD_DIR]     (default: build-bench, configured as Release)
#   ROUNDS=5 IMAGES=51 BODY=67108864 bench/cli_large_bench.sh
#   PARTS="single large" bench/cli_large_bench.sh   (parts to run, default both)
#   BENCH_SERVER=... PIXHAUL_CLI=... HTTP_BENCH=...  (use built executables instead of building)
#
# The large part needs about 2 x IMAGES x BODY bytes of free space under TMPDIR while a round
# runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-$root/build-bench}
rounds=${ROUNDS:-5}
images=${IMAGES:-51}
body=${BODY:-67108864}
read -r -a parts <<<"${PARTS:-single large}"

server_program=${BENCH_SERVER:-}
cli=${PIXHAUL_CLI:-}
timer=${HTTP_BENCH:-}
if [[ -z $server_program || -z $cli || -z $timer ]]; then
  bench_build "$build" Release bench_server pixhaul-cli http_bench
  server_program=$build/bench/bench_server
  cli=$build/cli/pixhaul-cli
  timer=$build/bench/http_bench
fi

bench_work cli-large
bench_start_server "$server_program"

# Part single: "case tool seconds maxrss_kib" lines in $work/single.
single_part() {
  local cases=("small http /small/1 16384" "256MiB http /counted/268435456 268435456"
    "256MiB https /counted/268435456 268435456")
  local r c name scheme path size url tool result
  for ((r = 1; r <= rounds; r++)); do
    for c in "${cases[@]}"; do
      read -r name scheme path size <<<"$c"
      url="$(bench_server_base "$scheme")$path"
      printf '<a m="x" imgurl:"%s" />\n' "$url" >"$work/single.html"
      local tools=(pixhaul curl)
      ((r % 2)) || tools=(curl pixhaul)
      for tool in "${tools[@]}"; do
        rm -rf "$work/single-save" "$work/single.bin"
        if [[ $tool == pixhaul ]]; then
          result=$("$timer" measure env PIXHAUL_TEST_TIMINGS=0,50,0,0,0 "$cli" \
            --save-dir "$work/single-save" "$work/single.html" 2>&1 >/dev/null | tail -n 1)
          [[ $(find "$work/single-save" -name 'http*' -size "${size}c" | wc -l) == 1 ]] ||
            { echo "pixhaul-cli did not save $url at full size" >&2; exit 1; }
        else
          result=$("$timer" measure curl -sS -k -o "$work/single.bin" "$url" 2>&1 | tail -n 1)
          [[ $(stat -c %s "$work/single.bin") == "$size" ]] ||
            { echo "curl did not save $url at full size" >&2; exit 1; }
        fi
        echo "$name/$scheme $tool $result" >>"$work/single"
      done
    done
    echo "single: round $r of $rounds done" >&2
  done
  rm -rf "$work/single-save" "$work/single.bin"

  echo "== one download per process (described waits 0), medians of $rounds paired rounds"
  for c in "${cases[@]}"; do
    read -r name scheme path size <<<"$c"
    awk -v key="$name/$scheme" '
      function median(a, k,   i, j, v) {
        for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
        return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
      }
      $1 == key && $2 == "pixhaul" { p[np] = $3; pm[np] = $4; np++ }
      $1 == key && $2 == "curl" { c[nc] = $3; cm[nc] = $4; nc++ }
      END {
        for (i = 0; i < np; i++) { d[i] = (p[i] - c[i]) * 1000; q[i] = c[i] / p[i] }
        printf "%-12s pixhaul-cli %8.3f s (%6.1f MiB)   curl -o FILE %8.3f s (%6.1f MiB)   pixhaul - curl %+7.1f ms   curl/pixhaul %5.2fx\n",
          key, median(p, np), median(pm, np) / 1024, median(c, nc), median(cm, nc) / 1024, median(d, np), median(q, np)
      }' "$work/single"
  done
}

has_part() {
  local part
  for part in "${parts[@]}"; do [[ $part == "$1" ]] && return 0; done
  return 1
}
has_part single && single_part
has_part large || exit 0

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
