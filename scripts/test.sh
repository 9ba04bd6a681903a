#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the test suite, then runs
# the map loader's tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer with leak checks. Fails when either run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# The tests play audio; OpenAL Soft's null backend stands in for a sound card.
export ALSOFT_DRIVERS=null
. scripts/xvfb.sh

# Kept to repeat the suite's summary at the end.
ctest_log=build/ctest-output.log
ctest_status=0
(cd build && ctest --output-on-failure -j"$(nproc)") 2>&1 | tee "$ctest_log" || ctest_status=$?

# The sanitizer build holds the map loader's tests alone.
asan_status=0
{
    cmake -S . -B build-asan -DVEMRA_ASAN=ON -DVEMRA_BENCH=OFF &&
        cmake --build build-asan --target tiled_tests -j"$(nproc)" &&
        # GSlice's own allocator (lists, hash tables) would hide GLib blocks
        # from the leak checker: give every block to malloc instead. Any
        # undefined behaviour ends the run with an error.
        (cd build-asan && G_SLICE=always-malloc ASAN_OPTIONS=detect_leaks=1 \
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ./tests/tiled_tests --gtest_brief=1)
} || asan_status=$?
if [ "$asan_status" -eq 0 ]; then
    echo "Sanitizer run of tiled_tests: passed."
else
    echo "Sanitizer run of tiled_tests: FAILED (status $asan_status)."
fi

# The suite's own summary comes last.
echo
sed -n '/tests passed/,$p' "$ctest_log"
if [ "$ctest_status" -ne 0 ]; then
    exit "$ctest_status"
fi
exit "$asan_status"
