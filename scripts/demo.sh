#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo: the host opens the
# bundled lowpass filter design and starts its optimization; the helmdeck
# window opens and shows the run improving, paced so it can be watched.
# Without a display the run is headless, goes flat out and ends with a
# screenshot of the window once the optimization has finished.
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
  echo "The run is paced so it can be followed (about 30 s) (--full-speed lets it run flat out)."
  exec build/bin/helmdeck-host build/demo/lowpass.json --optimize
fi

shot=build/demo/helmdeck.png
echo "No display found: running headless (QT_QPA_PLATFORM=offscreen), flat out."
QT_QPA_PLATFORM=offscreen build/bin/helmdeck-host build/demo/lowpass.json --optimize \
  --screenshot "$shot" --until-finished
echo
echo "The helmdeck window at the end of the run was saved to $shot"
echo "To watch it live, run on a machine with a display:"
echo "  build/bin/helmdeck-host build/demo/lowpass.json --optimize"
echo "or under a virtual display: xvfb-run -a build/bin/helmdeck-host build/demo/lowpass.json --optimize"
