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

echo "== plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPIXHAUL_SANITIZE=address \
  -DPIXHAUL_BUILD_GUI=OFF -DPIXHAUL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -LE nosan)

echo "== ThreadSanitizer (threaded suites)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DPIXHAUL_SANITIZE=thread \
  -DPIXHAUL_BUILD_GUI=OFF -DPIXHAUL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j"$jobs" -L threaded)
