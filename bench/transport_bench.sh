#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Reads one large body until close from a loopback server, through the program's own
# connection (transport_bench fetch) and through curl, side by side in one run: for each mode
# (plain, tls) RUNS interleaved rounds of every tool, then the medians of MB/s (wall clock,
# process start included) and of peak resident memory.
#
#   nice -n 10 bench/transport_bench.sh [BUILD_DIR]
#
# BYTES (default 268435456 = 256 MiB), RUNS (default 5), MODES (default "plain tls") and
# TRANSPORT_BENCH (an already built executable) can be set in the environment.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
BYTES=${BYTES:-268435456}
RUNS=${RUNS:-5}
MODES=${MODES:-"plain tls"}

if [[ -n "${TRANSPORT_BENCH:-}" ]]; then
  BENCH=$TRANSPORT_BENCH
else
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPIXHAUL_BUILD_GUI=OFF >/dev/null
  cmake --build "$BUILD" --target transport_bench -j2 >/dev/null
  BENCH=$BUILD/bench/transport_bench
fi

WORK=$(mktemp -d)
SERVER_PID=""
cleanup() {
  if [[ -n "$SERVER_PID" ]]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

start_server() {  # $1: extra flag ("" or --tls)
  "$BENCH" serve "$BYTES" $1 >"$WORK/server.out" 2>"$WORK/server.err" &
  SERVER_PID=$!
  for _ in $(seq 1 100); do
    if grep -q '^PORT ' "$WORK/server.out" 2>/dev/null; then break; fi
    sleep 0.05
  done
  PORT=$(awk '/^PORT /{print $2}' "$WORK/server.out")
  [[ -n "$PORT" ]] || { echo "server did not start" >&2; cat "$WORK/server.err" >&2; exit 1; }
}

stop_server() {
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=""
}

# Runs one tool once; appends "MBps rss_kb" to $WORK/<mode>.<tool>.
measure() {  # $1 mode, $2 tool name, rest: command
  local mode=$1 tool=$2
  shift 2
  local begin end
  begin=$(date +%s%N)
  if ! /usr/bin/time -f "%M" -o "$WORK/rss" "$@" >"$WORK/out" 2>"$WORK/err"; then
    echo "$tool failed:" >&2
    cat "$WORK/err" >&2
    exit 1
  fi
  end=$(date +%s%N)
  awk -v b="$BYTES" -v ns=$((end - begin)) -v rss="$(tail -1 "$WORK/rss")" \
    'BEGIN { printf "%.1f %d\n", b / (ns / 1e9) / 1e6, rss }' >>"$WORK/$mode.$tool"
}

check_file() {
  local size
  size=$(stat -c %s "$WORK/curl.bin")
  [[ "$size" == "$BYTES" ]] || { echo "curl wrote $size bytes, expected $BYTES" >&2; exit 1; }
  rm -f "$WORK/curl.bin"
}

median() {  # $1 file, $2 column
  sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

TOOLS="pixhaul-memory pixhaul-discard curl-file curl-null"
echo "Body: $BYTES bytes until close, $RUNS interleaved runs per tool; medians."
echo "machine: $(nproc) cores, $(uname -r); curl: $(curl --version | head -1 | cut -d' ' -f1-2)"
printf "%-6s %-22s %10s %14s\n" mode tool "MB/s" "peak RSS MiB"
for mode in $MODES; do
  flag=""
  scheme=http
  curl_flags=()
  if [[ "$mode" == tls ]]; then
    flag=--tls
    scheme=https
    curl_flags=(-k)
  fi
  start_server "$flag"
  url="$scheme://127.0.0.1:$PORT/body"
  for _ in $(seq 1 "$RUNS"); do
    measure "$mode" pixhaul-memory "$BENCH" fetch "$PORT" "$BYTES" $flag
    measure "$mode" pixhaul-discard "$BENCH" fetch "$PORT" "$BYTES" $flag --discard
    measure "$mode" curl-file curl -sS "${curl_flags[@]}" -o "$WORK/curl.bin" "$url"
    check_file
    measure "$mode" curl-null curl -sS "${curl_flags[@]}" -o /dev/null "$url"
  done
  stop_server
  for tool in $TOOLS; do
    label=$tool
    case $tool in
      pixhaul-memory) label="pixhaul -> memory" ;;
      pixhaul-discard) label="pixhaul -> discard" ;;
      curl-file) label="curl -o FILE" ;;
      curl-null) label="curl -o /dev/null" ;;
    esac
    printf "%-6s %-22s %10s %14s\n" "$mode" "$label" "$(median "$WORK/$mode.$tool" 1)" \
      "$(awk -v k="$(median "$WORK/$mode.$tool" 2)" 'BEGIN { printf "%.1f", k / 1024 }')"
  done
done
