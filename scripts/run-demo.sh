#!/usr/bin/env bash
# Builds the project and runs its main job against the simulated controller.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
echo "run-demo: the program is not built yet; the link library and its tests are." >&2
