#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Installs what is missing, builds, and opens the Pixhaul window. Without a display it says so
# and runs the offline demo headless instead (pixhaul-cli against the bundled demo site).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# Qt WebEngine refuses to start its sandbox as root.
[[ $EUID -eq 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  exec build/app/pixhaul "$@"
fi
echo "No display found: running the offline demo headless instead (pixhaul-cli on the demo site)."
exec demo/run-demo.sh build
