#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Installs what is missing, builds, and runs every test: the plain build (all suites, the
# window's included), the whole core suite again under AddressSanitizer + UndefinedBehavior-
# Sanitizer, and the threaded suites under ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1

# The suites run in a network namespace of their own that has only the loopback device, where
# the machine allows one (as root): a test that reaches beyond the machine then fails at once
# ("Network is unreachable"), whatever the machine's own network does.
sealed=()
if [ "$(id -u)" = 0 ] && unshare -n sh -c 'ip link set lo up' 2>/dev/null; then
  sealed=(unshare -n sh -c 'ip link set lo up && exec "$@"' sealed)
  echo "== the suites run sealed: a network namespace with only the loopback device"
else
  echo "== no network namespace can be made here (root and unshare needed): the suites run on" \
    "the machine's network"
fi

echo "== plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && "${sealed[@]}" ctest --output-on-failure -j"$jobs")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPIXHAUL_SANITIZE=address \
  -DPIXHAUL_BUILD_GUI=OFF -DPIXHAUL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "${sealed[@]}" ctest --output-on-failure -j"$jobs" -LE nosan)

echo "== ThreadSanitizer (threaded suites)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DPIXHAUL_SANITIZE=thread \
  -DPIXHAUL_BUILD_GUI=OFF -DPIXHAUL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "${sealed[@]}" ctest --output-on-failure -j"$jobs" -L threaded)
