#!/usr/bin/env bash
# Builds everything (release) and runs the main job: decoding the bundled sample stream.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
build/host/rtcmv/rtcmv decode --stats examples/sample.rtcm2
