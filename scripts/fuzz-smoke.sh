#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz and runs each for a while on a scratch copy of its seed corpus. Fails on the first
# crash, leak, time-out or failed check; the input that caused it is left in
# fuzz/corpus-run/<target>/artifacts/.
#
# Usage: scripts/fuzz-smoke.sh [SECONDS]   (or FUZZ_SECONDS; default 60 per target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-60}}
targets=(fuzz_decoder fuzz_replay fuzz_decode_cli)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDARVELON_FUZZ=ON -DDARVELON_TESTS=OFF -DDARVELON_SANITIZE=address,undefined >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  run=fuzz/corpus-run/$target
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/artifacts"
  cp fuzz/corpus/"$target"/* "$run/corpus/"
  echo "== $target: ${seconds}s"
  if ! build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
      -print_final_stats=1 -artifact_prefix="$run/artifacts/" "$run/corpus" >"$run/log" 2>&1; then
    tail -n 60 "$run/log"
    echo "$target failed; reproduce with: build-fuzz/fuzz/$target $run/artifacts/<file>" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec' "$run/log" || true
done
echo "fuzz smoke: all targets ran ${seconds}s without a failure"
