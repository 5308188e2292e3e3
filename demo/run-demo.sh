#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Tries pixhaul-cli on the demo image-search site, without the internet: starts
# pixhaul-demo-server on 127.0.0.1, runs pixhaul-cli on the server's Bing result page (a mix of
# http, https and redirected image addresses), then on its pages in the layouts Bing, Google
# and Baidu serve today (found by the current-layout rules), lists where the images went,
# stops the server.
#
# usage: demo/run-demo.sh [BUILD_DIR [SAVE_DIR]]
#   BUILD_DIR  the CMake build folder holding demo/ and cli/ (default: build)
#   SAVE_DIR   the save folder of the first run; today's pages go to SAVE_DIR-bing-today and so
#              on (default: a fresh folder under the temporary folder)
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

status=0
run() {
  local site=$1 page=$2 folder=$3 result=0
  echo "Demo page: $page"
  echo "Running: $cli --site $site --save-dir $folder $page"
  echo
  "$cli" --site "$site" --save-dir "$folder" "$page" </dev/null || result=$?
  echo
  echo "pixhaul-cli exited with status $result. The save folder $folder holds" \
    "$(find "$folder" -maxdepth 1 -type f | wc -l) files:"
  ls -l "$folder" | sed -n '2,7p'
  echo "  ..."
  echo
  [[ $result -eq 0 ]] || status=$result
}

run bing "$page" "$save"
while read -r site address; do
  run "$site" "$address" "$save-$site-today"
done <<<"$demo_today_pages"
exit "$status"
