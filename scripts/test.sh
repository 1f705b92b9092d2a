#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build, then the whole suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer (leaks included), then the threaded suites
# under ThreadSanitizer, then a short fuzzing run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# Layout is checked before anything is built, so a badly formatted change fails in a second.
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "test.sh: the files above are not formatted; run: git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
  exit 1
fi

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# The benchmarks are built too, so a change that breaks them shows here; they run by hand.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_BENCH=ON
ctest --test-dir build --output-on-failure -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_SANITIZE=address,undefined
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The suites with threads of their own: the serial link and recording over pseudo-terminals.
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp halt_on_error=1 second_deadlock_stack=1"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target serial_tests recording_tests
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads

# A minute of fuzzing per target on the seed corpus (clang, ASan + UBSan).
scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-60}"
