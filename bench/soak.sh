#!/usr/bin/env bash
# Ten minutes of the window recording a device flat out, then ten at the line's pace: bytes
# moved and lost, CPU, peak memory against the chart store, memory growth per hour.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${SOAK_MINUTES:-10}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDARVELON_BENCH=ON -DDARVELON_TESTS=OFF >/dev/null
cmake --build build-bench --target bench_recording_cpu
echo "== flat out, $minutes min"
build-bench/bench/bench_recording_cpu $((minutes * 60)) --max
echo "== line pace, $minutes min"
build-bench/bench/bench_recording_cpu $((minutes * 60))
