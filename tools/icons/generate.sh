#!/bin/sh
# Rebuilds the icon-drawing tool and redraws every icon and animation into
# src/Resources/. Usage: tools/icons/generate.sh [build-dir]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-/tmp/helmdeck-icons-build}
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" >/dev/null || { cmake --build "$build"; exit 1; }
QT_QPA_PLATFORM=offscreen "$build/helmdeck-icons" "$root/src/Resources"
