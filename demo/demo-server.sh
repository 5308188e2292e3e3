# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Sourced by the demo scripts: start_demo_server BUILD_DIR LIFETIME_SECONDS [OPTION...] starts
# pixhaul-demo-server on 127.0.0.1 with the server options given, waits until it is ready, stops
# it when the calling script exits, and sets demo_bing_page to the address of its Bing-style
# result page and demo_today_pages to "site address" lines for its pages in today's layouts.
start_demo_server() {
  local build=$1 lifetime=$2
  shift 2
  demo_addresses=$(mktemp)
  "$build/demo/pixhaul-demo-server" --stop-after "$lifetime" "$@" >"$demo_addresses" &
  demo_server_pid=$!
  trap 'kill "$demo_server_pid" 2>/dev/null || true; wait "$demo_server_pid" 2>/dev/null || true; rm -f "$demo_addresses"' EXIT
  for _ in $(seq 100); do
    grep -qx ready "$demo_addresses" && break
    kill -0 "$demo_server_pid" 2>/dev/null || { echo "the demo server did not start" >&2; return 1; }
    sleep 0.1
  done
  demo_bing_page=$(awk '$1 == "bing" { print $2 }' "$demo_addresses")
  demo_today_pages=$(awk '$1 ~ /-today$/ { sub(/-today$/, "", $1); print $1, $2 }' "$demo_addresses")
  [[ -n $demo_bing_page ]] || { echo "the demo server gave no page address" >&2; return 1; }
}
