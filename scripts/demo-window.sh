#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled demo image-search site on 127.0.0.1 and
# opens the Pixhaul window on its Bing-style result page. Press "Start download" in the window;
# the demo server stops when the window closes (or after an hour).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# Qt WebEngine refuses to start its sandbox as root.
[[ $EUID -eq 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1

addresses=$(mktemp)
build/demo/pixhaul-demo-server --stop-after 3600 >"$addresses" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -f "$addresses"' EXIT
for _ in $(seq 100); do
  grep -qx ready "$addresses" && break
  kill -0 "$server_pid" 2>/dev/null || { echo "demo-window: the demo server did not start" >&2; exit 1; }
  sleep 0.1
done
page=$(awk '$1 == "bing" { print $2 }' "$addresses")
[[ -n $page ]] || { echo "demo-window: the demo server gave no page address" >&2; exit 1; }
echo "Demo site: $page (select www.bing.com in the window, then press Start download)"
build/app/pixhaul "$page"
