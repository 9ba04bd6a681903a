#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the test suite, then runs
# the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# with leak checks. Fails when either run fails.
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
# with leak checks in every test process.
asan_log=build-asan/ctest-output.log
asan_status=0
asan_start=$(date +%s)
{
    cmake -S . -B build-asan -DVEMRA_ASAN=ON -DVEMRA_BENCH=OFF &&
        cmake --build build-asan -j"$(nproc)" &&
        (cd build-asan && . ../scripts/sanitizer_env.sh && ctest --output-on-failure -j"$(nproc)") 2>&1 |
            tee "$asan_log"
} || asan_status=$?
echo "Sanitizer run: $(( $(date +%s) - asan_start )) s."

# The summaries come last: the sanitizer run's, then the suite's own.
echo
if [ "$asan_status" -eq 0 ]; then
    echo "Sanitizer run of the whole suite: passed."
else
    echo "Sanitizer run of the whole suite: FAILED (status $asan_status)."
    sed -n '/tests passed/,$p' "$asan_log" 2>/dev/null || true
fi
sed -n '/tests passed/,$p' "$ctest_log"
if [ "$ctest_status" -ne 0 ]; then
    exit "$ctest_status"
fi
exit "$asan_status"
