#!/usr/bin/env bash
# Installs what is needed, builds, and runs the product's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
example=examples/messages/optim_iter.txt
echo "== helmdeck-codec roundtrip OPTIM_ITER < $example"
build/apps/codec/helmdeck-codec roundtrip OPTIM_ITER < "$example"
echo
echo "== helmdeck-codec chunks OPTIM_ITER 400 < $example"
build/apps/codec/helmdeck-codec chunks OPTIM_ITER 400 < "$example"
