#!/usr/bin/env bash
# Regenerates the sample logs in samples/ with the simulated device. The stream is a function of
# its settings, so the files only change when the simulator does.
# Usage: scripts/make-samples.sh [path to darvelon-cli]   (default: build/tools/darvelon-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/tools/darvelon-cli}
if [ ! -x "$cli" ]; then
  echo "darvelon-cli not found at $cli; build first (cmake --build build)" >&2
  exit 1
fi
mkdir -p samples
# Two full 30 s pulls from idle to 7000 rpm and back, with a few stray bytes on the line.
"$cli" simulate --output samples/engine-demo.dcc --seconds 60 --profile sweep --seed 1 --glitch garbage
