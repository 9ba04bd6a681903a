#!/usr/bin/env bash
# Configures and builds the engine, its tests and its benchmarks in build/.
# Arguments go to the build step: `--target vemra` builds the program alone.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" "$@"
