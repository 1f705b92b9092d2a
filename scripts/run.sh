#!/usr/bin/env bash
# Sets up, builds and starts Darvelon against the simulated device on COM1, so the program can
# be tried without the measuring device: click "Открыть порт и файл", choose a file name, and
# watch the live data arrive. The simulated device stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

build/tools/darvelon-cli simulate --port 1 --profile sweep &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true' EXIT
build/src/ui/darvelon
