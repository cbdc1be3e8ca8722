#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build with the test ROMs, then
# the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz
# target for 30 seconds from its seeds (scripts/fuzz.sh), which fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOV_SANITIZE=ON -DTOV_GUI=OFF -DTOV_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE slow
TOV_FUZZ_FRESH=1 scripts/fuzz.sh 30
