#!/usr/bin/env bash
# The HTTP client against curl, side by side on one loopback server: a 256 MiB body sent with a
# Content-Length and the same body chunked, each fetched by TIdHTTP::GetInto into a memory
# stream (as the download worker does, and once more followed by the worker's SaveToFile) and
# by `curl -o FILE` and `curl -o /dev/null`; then 10 000 sequential 16 KiB GETs on one kept-alive
# connection by one TIdHTTP client and by one curl process reading the same URLs from --config.
# Every variant runs once per round, rounds interleave the variants, and the medians of the
# rounds are reported with the median peak resident memory of the measured process.
#
#   bench/http_bench.sh [BUILD_DIR]          (default: build-bench, configured as Release)
#   ROUNDS=5 bench/http_bench.sh             (rounds, default 5)
#   HTTP_BENCH=path/to/http_bench            (use a built executable instead of building)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
rounds=${ROUNDS:-5}
large=$((256 * 1024 * 1024))
small=16384
count=10000

bench=${HTTP_BENCH:-}
if [[ -z $bench ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXHAUL_BUILD_GUI=OFF \
    -DPIXHAUL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target http_bench >/dev/null
  bench=$build/bench/http_bench
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pixhaul-http-bench.XXXXXX")
server=""
cleanup() {
  if [[ -n $server ]]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bench" serve "$work/port" &
server=$!
for _ in $(seq 50); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(cat "$work/port")
base=http://127.0.0.1:$port

for ((i = 0; i < count; i++)); do
  printf 'url = "%s/small/%d"\noutput = "/dev/null"\n' "$base" "$i"
done >"$work/curl.config"

declare -A commands
names=()
add() {
  names+=("$1")
  commands[$1]=$2
}
for kind in counted chunked; do
  url=$base/$kind/$large
  add "$kind pixhaul GetInto->memory" "$bench get $url $large"
  add "$kind pixhaul GetInto->memory+SaveToFile" "$bench get $url $large $work/ours.bin"
  add "$kind curl -o FILE" "curl -sS -o $work/curl.bin $url"
  add "$kind curl -o /dev/null" "curl -sS -o /dev/null $url"
done
add "small pixhaul $count GETs, one client" "$bench many $base/small/ $count $small"
add "small curl $count GETs, --config" "curl -sS --config $work/curl.config"

# One line per measurement: name<TAB>seconds<TAB>maxrss_kb.
for ((r = 1; r <= rounds; r++)); do
  for name in "${names[@]}"; do
    # shellcheck disable=SC2086
    result=$("$bench" measure ${commands[$name]} 2>&1 >/dev/null | tail -n 1)
    rm -f "$work/ours.bin" "$work/curl.bin"
    printf '%s\t%s\t%s\n' "$name" "${result% *}" "${result#* }" >>"$work/results"
  done
  echo "round $r of $rounds done" >&2
done

echo "== HTTP client vs curl, loopback, medians of $rounds interleaved rounds"
for name in "${names[@]}"; do
  awk -F'\t' -v name="$name" -v large="$large" -v count="$count" '
    BEGIN { n = 0 }
    $1 == name { t[n] = $2; m[n] = $3; n++ }
    function median(a, k,   i, j, v) {
      for (i = 1; i < k; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { v = a[j]; a[j] = a[j - 1]; a[j - 1] = v }
      return k % 2 ? a[int(k / 2)] : (a[k / 2 - 1] + a[k / 2]) / 2
    }
    END {
      s = median(t, n); rss = median(m, n) / 1024
      if (name ~ /^small/) rate = sprintf("%8.0f requests/s", count / s)
      else rate = sprintf("%8.0f MiB/s     ", large / 1048576 / s)
      printf "%-48s %8.3f s %s  peak RSS %7.1f MiB\n", name, s, rate, rss
    }' "$work/results"
done
