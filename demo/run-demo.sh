#!/usr/bin/env bash
# Tries pixhaul-cli on the demo image-search site, without the internet: starts
# pixhaul-demo-server on 127.0.0.1, runs pixhaul-cli on the server's Bing result page (a mix of
# http, https and redirected image addresses), lists where the images went, stops the server.
#
# usage: demo/run-demo.sh [BUILD_DIR [SAVE_DIR]]
#   BUILD_DIR  the CMake build folder holding demo/ and cli/ (default: build)
#   SAVE_DIR   the save folder (default: a fresh folder under the temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
save=${2:-$(mktemp -d "${TMPDIR:-/tmp}/pixhaul-demo.XXXXXX")/images_download}
server="$build/demo/pixhaul-demo-server"
cli="$build/cli/pixhaul-cli"
for program in "$server" "$cli"; do
  if [[ ! -x $program ]]; then
    echo "run-demo: $program is missing; build first (cmake -S . -B $build && cmake --build $build)" >&2
    exit 1
  fi
done

source demo/demo-server.sh
start_demo_server "$build" 300
page=$demo_bing_page

echo "Demo site: $page"
echo "Running: $cli --site bing --save-dir $save $page"
echo
status=0
"$cli" --site bing --save-dir "$save" "$page" || status=$?
echo
echo "pixhaul-cli exited with status $status. The save folder $save holds:"
ls -l "$save"
exit "$status"
