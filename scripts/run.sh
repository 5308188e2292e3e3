#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program's main job (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
echo "Built. The download front ends are not in this build yet."
exit 1
