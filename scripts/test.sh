#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build, then the whole suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer (leaks included), then the threaded suites
# under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_SANITIZE=address,undefined
ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -f scripts/tsan.supp ]; then
  export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp halt_on_error=1 second_deadlock_stack=1"
  run_suite build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_SANITIZE=thread
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads
fi
