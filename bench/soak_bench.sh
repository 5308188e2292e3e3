#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Soak benchmark: the soak scenario of tests/soak with pixhaul-cli's real timings (100 ms start
# pause, 3000 ms throttle periods, 5000 ms grace period, 30 s connect and read limits), then,
# side by side on one fault page, pixhaul-cli against curl fetching the same address list with
# as many transfers at once (51). Not part of the test suite: the soak alone takes about
# 15 minutes.
#
#   nice -n 10 bench/soak_bench.sh [BUILD_DIR] [ENTRIES]
#
# BUILD_DIR defaults to build-soak-bench (configured RelWithDebInfo, no GUI); ENTRIES (default
# 2000) sizes the side-by-side page; SOAK=0 skips the soak and runs only the side-by-side part.
# Everything runs on 127.0.0.1 against the fault server.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-soak-bench}
entries=${2:-2000}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXHAUL_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target soak_test pixhaul-cli fault_server_main >/dev/null

if [ "${SOAK:-1}" != 0 ]; then
  echo "== soak with the real timings"
  PIXHAUL_SOAK_REAL_TIMINGS=1 "$build/tests/soak/soak_test" 2>&1 |
    grep -E '^\[soak\]|OK \]|FAILED|Failure' || true
fi

echo "== side by side: pixhaul-cli and curl over one page of $entries addresses"
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
"$build/tests/soak/fault_server_main" "$entries" 3600 >"$work/server.txt" &
server_pid=$!
for _ in $(seq 50); do grep -q '^page ' "$work/server.txt" 2>/dev/null && break; sleep 0.1; done
page=$(sed -n 's/^page //p' "$work/server.txt")

"$build/cli/pixhaul-cli" --list-only --save-dir "$work/list" "$page" >"$work/urls.txt"
echo "addresses: $(wc -l <"$work/urls.txt")"

peak() { # peak resident KiB of a command, via GNU time when present
  if [ -x /usr/bin/time ]; then /usr/bin/time -f '%M' -o "$work/rss" "$@"; else "$@"; echo '?' >"$work/rss"; fi
}

start=$(date +%s.%N)
peak "$build/cli/pixhaul-cli" --save-dir "$work/pixhaul" "$page" >"$work/pixhaul.log" || true
end=$(date +%s.%N)
ok=$(grep -c ': OK$' "$work/pixhaul.log" || true)
printf 'pixhaul-cli: %.1f s wall, %s images saved, peak RSS %s KiB (paced 100 ms per start, 51 live)\n' \
  "$(echo "$end - $start" | bc)" "$ok" "$(cat "$work/rss")"

mkdir -p "$work/curl"
start=$(date +%s.%N)
# -k: the fault server's certificate is self-signed; pixhaul does not verify certificates either.
peak xargs -P 51 -n 1 -a "$work/urls.txt" sh -c \
  'curl -fsk -L --max-redirs 14 --connect-timeout 30 --speed-limit 1 --speed-time 30 --max-filesize 536870912 -o "$0/$(printf %s "$1" | tr / _ | tr -d :)" "$1" || true' \
  "$work/curl" || true
end=$(date +%s.%N)
printf 'curl (51 at once): %.1f s wall, %s files, peak RSS of xargs %s KiB\n' \
  "$(echo "$end - $start" | bc)" "$(ls "$work/curl" | wc -l)" "$(cat "$work/rss")"
