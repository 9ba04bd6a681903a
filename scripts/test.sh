#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# The tests play audio; OpenAL Soft's null backend stands in for a sound card.
export ALSOFT_DRIVERS=null
. scripts/xvfb.sh
cd build
ctest --output-on-failure -j"$(nproc)"
