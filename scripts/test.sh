#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the test suite, then runs
# the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# with leak checks, and a short run of each fuzz target. Fails when any of
# them fails.
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

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# with leak checks in every test process. Built with clang, whose checks of
# undefined behaviour go further than GCC's (pointer arithmetic on null, for
# one).
asan_log=build-asan/ctest-output.log
asan_status=0
asan_start=$(date +%s)
{
    CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -DVEMRA_ASAN=ON -DVEMRA_BENCH=OFF &&
        cmake --build build-asan -j"$(nproc)" &&
        (cd build-asan && . ../scripts/sanitizer_env.sh && ctest --output-on-failure -j"$(nproc)") 2>&1 |
            tee "$asan_log"
} || asan_status=$?
echo "Sanitizer run: $(( $(date +%s) - asan_start )) s."

# Each fuzz target over its corpus and half a minute of new inputs: a
# regression in any input handling shows at once.
fuzz_status=0
bash scripts/fuzz.sh smoke || fuzz_status=$?

# The summaries come last: the sanitizer run's, then the suite's own.
echo
if [ "$asan_status" -eq 0 ]; then
    echo "Sanitizer run of the whole suite: passed."
else
    echo "Sanitizer run of the whole suite: FAILED (status $asan_status)."
    sed -n '/tests passed/,$p' "$asan_log" 2>/dev/null || true
fi
if [ "$fuzz_status" -eq 0 ]; then
    echo "Fuzz smoke runs: passed."
else
    echo "Fuzz smoke runs: FAILED."
fi
sed -n '/tests passed/,$p' "$ctest_log"
if [ "$ctest_status" -ne 0 ]; then
    exit "$ctest_status"
fi
if [ "$asan_status" -ne 0 ]; then
    exit "$asan_status"
fi
exit "$fuzz_status"
