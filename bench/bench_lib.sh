# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Shared by the benchmark scripts, which source it: the build of the programs they measure, their
# scratch folder, and bench_server, the loopback server of the HTTP benchmarks. Each script sets
# `root` (the project folder) before it calls these.

# bench_build BUILD_DIR BUILD_TYPE TARGET...: builds the targets in BUILD_DIR, without the window
# and the tests.
bench_build() {
  local build=$1 type=$2
  shift 2
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="$type" -DPIXHAUL_BUILD_GUI=OFF \
    -DPIXHAUL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
}

# bench_work NAME: makes the scratch folder $work, removed at exit together with a bench_server
# that bench_start_server started.
bench_server_pid=
bench_cleanup() {
  if [[ -n $bench_server_pid ]]; then
    kill "$bench_server_pid" 2>/dev/null || true
    wait "$bench_server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
bench_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/pixhaul-$1.XXXXXX")
  trap bench_cleanup EXIT
}

# bench_start_server PROGRAM: starts bench_server and waits until it has written its two ports to
# $work/ports ("http PORT" and "https PORT").
bench_start_server() {
  "$1" "$work/ports" &
  bench_server_pid=$!
  for _ in $(seq 50); do [[ $(wc -l 2>/dev/null <"$work/ports") == 2 ]] && break; sleep 0.1; done
}

# bench_server_base MODE: "MODE://127.0.0.1:PORT" of the running bench_server, MODE http or https.
bench_server_base() {
  echo "$1://127.0.0.1:$(awk -v mode="$1" '$1 == mode { print $2 }' "$work/ports")"
}

# Measurements run interleaved: `bench_add NAME COMMAND` lists one, and `bench_run_rounds BENCH
# ROUNDS` runs every listed command ROUNDS times through "BENCH measure", appending one line per
# run to $work/results: name<TAB>seconds<TAB>maxrss_kb. A failed measurement ends the script.
declare -A bench_commands
bench_names=()
bench_add() {
  bench_names+=("$1")
  bench_commands[$1]=$2
}
bench_run_rounds() {
  local bench=$1 rounds=$2 r name result
  for ((r = 1; r <= rounds; r++)); do
    for name in "${bench_names[@]}"; do
      # shellcheck disable=SC2086
      if ! result=$("$bench" measure ${bench_commands[$name]} 2>&1 >/dev/null | tail -n 1) ||
        [[ $result != *" "* ]]; then
        echo "failed: ${name#*|}: $result" >&2
        exit 1
      fi
      rm -f "$work/worker/body.bin" "$work/curl.bin"
      printf '%s\t%s\t%s\n' "$name" "${result% *}" "${result#* }" >>"$work/results"
    done
    echo "round $r of $rounds done" >&2
  done
}

# bench_http_setup BUILD_DIR NAME: the HTTP benchmark program ($bench) and its loopback server
# (started; HTTP_BENCH and BENCH_SERVER name ready-built ones), the scratch folder $work with the
# worker's folder in it.
bench_http_setup() {
  bench=${HTTP_BENCH:-}
  local server_program=${BENCH_SERVER:-}
  if [[ -z $bench || -z $server_program ]]; then
    bench_build "$1" Release http_bench bench_server
    bench=$1/bench/http_bench
    server_program=$1/bench/bench_server
  fi
  bench_work "$2"
  mkdir "$work/worker"
  bench_start_server "$server_program"
}
