#!/usr/bin/env bash
# Takes the README's pictures of the chart's tools from the real window under Xvfb: the cursors
# on the first pull of the sample log, and the live status while the simulated device records.
#   bench/workbench_shots.sh [BUILD_DIR=build]     (configured with -DDARVELON_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scratch=$(mktemp -d)
# The simulator publishes its port here, never in the user's own ports folder.
export XDG_DATA_HOME=$scratch
sim=
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

xvfb-run -a "$build/bench/workbench_shots" cursors samples/engine-demo.dcc docs/cursors.png

"$build/tools/darvelon-cli" simulate --port 1 --profile sweep --seconds 120 >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$scratch/darvelon/ports/com1" ] && break; sleep 0.1; done
xvfb-run -a "$build/bench/workbench_shots" live 1 20 docs/live-status.png
echo "docs/cursors.png docs/live-status.png"
