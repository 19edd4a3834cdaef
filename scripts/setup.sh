#!/usr/bin/env bash
# Installs the system packages the project needs (Debian), then configures and builds.
# Idempotent: when every package is present it installs nothing and says nothing about it.
# Usage: scripts/setup.sh [BUILD_DIR [TARGET...]]   (default: build, every target)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev
  libbenchmark-dev
  libngspice0-dev libnlopt-cxx-dev
  xvfb xauth imagemagick
)
# The test command also fuzzes, with clang's libFuzzer.
# shellcheck disable=SC2206
PACKAGES+=(${HELMDECK_EXTRA_PACKAGES:-})

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

BUILD_DIR="${1:-build}"
shift $(( $# > 0 ? 1 : 0 ))
EXTRA=()
[ "${CI:-}" = "true" ] && EXTRA+=(-DHELMDECK_WERROR=ON)
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${EXTRA[@]}" >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)" ${1:+--target "$@"}
