#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# The window's "Load more results" on the demo's 300-result pages (30 shown at first, 30 more per
# scroll, the demo's own 300 ms wait before each batch): time from the command to its end and the
# peak memory (VmHWM) of the window's process and of the web engine's processes, before and after.
# Side by side: the same 300 results served at once, where the command only takes its three rounds
# without growth, which gives the memory of the page alone and the fixed cost of the stop rule.
#
# usage: bench/load_more_bench.sh [BUILD_DIR]   (default: build, RelWithDebInfo, with the window)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target load_more_bench pixhaul-demo-server >/dev/null
export QT_QPA_PLATFORM=offscreen
[[ $EUID -eq 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-background-networking --disable-component-update --no-first-run --disable-sync"

cd "$root"
source demo/demo-server.sh
measure() {
  local title=$1 site=$2 page=$3
  echo "== $title: $page"
  "$build/bench/load_more_bench" "$page" "$site" 2>/dev/null | sed 's/^/  /'
}
start_demo_server "$build" 900 --images 300 --batch 30
while read -r name address; do
  case $name in
    bing) measure "Bing, today's layout, grows 30 -> 300" 0 "$address" ;;
    google) measure "Google, today's layout, grows 30 -> 300 (more-results button)" 1 "$address" ;;
  esac
done <<<"$demo_today_pages"
kill "$demo_server_pid"; wait "$demo_server_pid" 2>/dev/null || true
start_demo_server "$build" 900 --images 300
while read -r name address; do
  [[ $name == bing ]] && measure "Bing, today's layout, all 300 at once (reference)" 0 "$address"
done <<<"$demo_today_pages"
