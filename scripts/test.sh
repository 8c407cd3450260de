#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest (two at a
# time). With QB_SANITIZERS=1, and by default in CI (CI set), it then builds
# the project a second time with AddressSanitizer and
# UndefinedBehaviorSanitizer (QB_SANITIZE) into its own folder and runs
# every test there too. The exit code is CTest's: that of the first run
# that failed, 0 when all passed.
#   BUILD_DIR=...        another build folder (default ./build)
#   ASAN_BUILD_DIR=...   another folder for the sanitizer build (default ./build-asan)
#   QB_SANITIZERS=1      add the sanitizer build and its run (0: leave it out, also in CI)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$repo/build}
asan_dir=${ASAN_BUILD_DIR:-$repo/build-asan}

bash "$repo/scripts/deps.sh"
# shellcheck source=scripts/fb-env.sh
source "$repo/scripts/fb-env.sh"
BUILD_DIR=$build_dir bash "$repo/scripts/build.sh"

# The tests run in a network of their own: a namespace whose loopback
# carries only the private Firebird servers the tests start, so that a
# server of this computer on 127.0.0.1:3050 (or anything else listening on
# the loopback) never answers a test. Without root, a user namespace makes
# the network namespace possible. Where the machine allows neither, the
# tests run on the computer's own network.
isolated() {
  local how=(--net)
  [[ $(id -u) -eq 0 ]] || how=(--user --map-root-user --net)
  unshare "${how[@]}" -- bash -c 'ip link set lo up && exec "$@"' isolated "$@"
}
run_tests=(isolated)
if ! isolated true 2>/dev/null; then
  run_tests=()
  echo "test.sh: note: no network namespace allowed here (unshare --net); the tests use this computer's loopback" >&2
  if timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/3050' 2>/dev/null; then
    echo "test.sh: warning: a Firebird server listens on 127.0.0.1:3050; the tests that need that port are skipped" >&2
  fi
fi

# A sanitizer build compiles at the lowest priority while the first run's
# tests go on: they mostly wait (on timers, on a scheduled minute, on
# Firebird servers), and they keep first call on the processors. Its output
# goes to a log, shown if it fails.
sanitizers=${QB_SANITIZERS:-${CI:+1}}
sanitizers=${sanitizers:-0}
asan_log=$(mktemp "${TMPDIR:-/tmp}/qb-asan-build.XXXXXX.log")
trap 'rm -f -- "$asan_log"' EXIT
if [[ $sanitizers != 0 ]]; then
  # Debug keeps Qt's and our assertions on; -O1 and line tables only (-g1)
  # keep the build short while reports still name files and lines.
  BUILD_DIR=$asan_dir BUILD_TYPE=Debug nice -n 19 bash "$repo/scripts/build.sh" -DQB_SANITIZE=ON \
    "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" >"$asan_log" 2>&1 &
  asan_build=$!
fi

status=0
"${run_tests[@]}" ctest --test-dir "$build_dir" --output-on-failure -j2 || status=$?

if [[ $sanitizers != 0 ]]; then
  echo "test.sh: the same tests under AddressSanitizer and UndefinedBehaviorSanitizer ($asan_dir)"
  if ! wait "$asan_build"; then
    cat "$asan_log" >&2
    echo "test.sh: the sanitizer build failed" >&2
    exit 1
  fi
  # Any finding ends the process that made it, so the test fails: UBSan
  # halts on its first report, as ASan always does. Leaks are reported at
  # exit; the suppressions name only libraries that are not ours, and
  # thread-local storage is not scanned (the file says why).
  export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$repo/scripts/lsan-suppressions.txt:print_suppressions=0:use_tls=0
  # The package test (label install) runs in the first run only: packing
  # the sanitizer build takes minutes and runs none of the program's code.
  sanitized=0
  "${run_tests[@]}" ctest --test-dir "$asan_dir" --output-on-failure -j2 -LE '^install$' || sanitized=$?
  [[ $status -ne 0 ]] || status=$sanitized
fi
exit "$status"
