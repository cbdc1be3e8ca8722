#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs every target for SECONDS seconds
# (default 30), starting from its seed corpus in tests/fuzz/corpus/<name>/. New inputs are
# kept in build-fuzz/corpus/<name>/, findings in build-fuzz/findings/. Fails on any finding.
# With TOV_FUZZ_FRESH=1 the kept inputs are dropped first: libFuzzer first runs every input it
# starts from, however long that takes, so a grown corpus would stretch a timed CI run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOV_FUZZ=ON \
  -DTOV_GUI=OFF -DTOV_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)"
mkdir -p build-fuzz/findings
status=0
for target in build-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  corpus=build-fuzz/corpus/$name
  [ "${TOV_FUZZ_FRESH:-0}" = 1 ] && rm -rf "$corpus"
  mkdir -p "$corpus"
  dict=()
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
  # The seeds, and the inputs of mended findings (the seed folders are only read).
  seeds=()
  for folder in "tests/fuzz/corpus/$name" "tests/fuzz/regressions/$name"; do
    [ -d "$folder" ] && seeds+=("$folder")
  done
  echo "== $name: $seconds s"
  # An input running 20 s is a finding (a hang); the slowest inputs (ROMs run for up to 192
  # frames under both sanitizers) take a fraction of a second, a few on a busy machine.
  if ! "$target" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix=build-fuzz/findings/"$name"- "$corpus" "${seeds[@]}"; then
    echo "fuzz.sh: $name found a fault (see build-fuzz/findings/)" >&2
    status=1
  fi
done
exit $status
