#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Retries and the image limit with the described timings (100 ms between starts, 5000 ms grace):
#  - 200 addresses of which every tenth answers 503 (Retry-After: 1) once: images saved and wall
#    time with --retries 2 against --retries 0, beside the floor the pacing sets (200 x 100 ms
#    + 5 s);
#  - --max-images 50 over 300 addresses against a run over a 50-address page.
# The image server is a small Python one on 127.0.0.1 (a reference, not part of the program).
#
#   nice -n 10 bench/retry_limit_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench (RelWithDebInfo, no window). Takes about two minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
build=${1:-build-bench}
[[ -x $build/cli/pixhaul-cli ]] || bench_build "$build" RelWithDebInfo pixhaul-cli
bench_work retry-limit
cli=$build/cli/pixhaul-cli

python3 - "$work/port" <<'PY' &
import http.server, sys, threading
seen = set()
lock = threading.Lock()
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args): pass
    def do_GET(self):
        n = int(self.path.rsplit("/", 1)[1].split(".")[0])
        with lock:
            first = n not in seen
            seen.add(n)
        if n % 10 == 0 and first and self.path.startswith("/busy/"):
            self.send_response(503); self.send_header("Retry-After", "1")
            self.send_header("Content-Length", "0"); self.end_headers(); return
        body = b"\x89PNG\r\n\x1a\n" + n.to_bytes(4, "big") * 4096
        self.send_response(200); self.send_header("Content-Type", "image/png")
        self.send_header("Content-Length", str(len(body))); self.end_headers()
        self.wfile.write(body)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
open(sys.argv[1], "w").write(str(server.server_address[1]))
threading.Timer(600, server.shutdown).start()
server.serve_forever()
PY
bench_server_pid=$!
for _ in $(seq 50); do [[ -s $work/port ]] && break; sleep 0.1; done
base="http://127.0.0.1:$(cat "$work/port")"
page() {  # page FILE PREFIX COUNT
  local i
  for ((i = 0; i < $3; i++)); do printf 'imgurl:"%s/%s/%d.png" ' "$base" "$2" "$i"; done >"$1"
}
run() {  # run LABEL ARGS...: prints wall time and the summary
  local label=$1
  shift
  rm -rf "$work/save"
  /usr/bin/time -f "%e" -o "$work/time" "$cli" --save-dir "$work/save" "$@" >/dev/null \
    2>"$work/err" || true
  printf '  %-28s wall %6.2f s   %s\n' "$label" "$(tail -1 "$work/time")" "$(tail -1 "$work/err")"
}

echo "== 200 addresses, every tenth answers 503 once (floor $(awk 'BEGIN { print 200 * 0.1 + 5 }') s)"
page "$work/busy0.html" busy0 200
page "$work/busy2.html" busy2 200
sed -i "s#/busy0/#/busy/#g; s#/busy2/#/busy/#g" "$work/busy0.html" "$work/busy2.html"
run "--retries 0" --retries 0 "$work/busy0.html"
# The server remembers what it answered: the second list asks for other images.
sed -i "s#/busy/\([0-9]*\)\.png#/busy/9999\1.png#g" "$work/busy2.html"
run "--retries 2" --retries 2 "$work/busy2.html"

echo "== the image limit"
page "$work/all.html" plain 300
page "$work/fifty.html" plain 50
run "--max-images 50 of 300" --max-images 50 "$work/all.html"
run "a page of 50" "$work/fifty.html"
