#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo: the host opens the
# bundled lowpass filter design and starts its optimization; the helmdeck
# window opens and shows the run improving.
# Without a display the run is headless and ends with a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the demo runs: the plug-in, the host and the simulator.
scripts/setup.sh build OptimHelmdeck helmdeck-host helmdeck-sim

design=examples/lowpass.json
# Work on a copy so that "Update Design" never rewrites the bundled example.
mkdir -p build/demo
cp "$design" build/demo/lowpass.json

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the host with build/demo/lowpass.json; the helmdeck window opens when the simulator starts."
  exec build/bin/helmdeck-host build/demo/lowpass.json --optimize --sim-arg=--max-rate=3
fi

shot=build/demo/helmdeck.png
echo "No display found: running headless (QT_QPA_PLATFORM=offscreen)."
QT_QPA_PLATFORM=offscreen build/bin/helmdeck-host build/demo/lowpass.json --optimize \
  --sim-arg=--max-rate=5 --trace --screenshot "$shot" --quit-after-iterations 15
echo
echo "The helmdeck window after 15 iterations was saved to $shot"
echo "To watch it live, run on a machine with a display:"
echo "  build/bin/helmdeck-host build/demo/lowpass.json --optimize --sim-arg=--max-rate=3"
echo "or under a virtual display: xvfb-run -a build/bin/helmdeck-host build/demo/lowpass.json --optimize"
