#!/usr/bin/env bash
# Fuzzes the standard-input readers of velunda-filtre for a fixed time (VELUNDA_FUZZ_SECONDS,
# 25 by default), seeded with the stream tests' inputs: a crash, a leak, a failed check or an
# input that takes over 5 s (a loop that never ends) fails the run and is kept in build/fuzz/.
# Needs clang (libFuzzer) and the debug build's cli_tests; without clang it says SKIPPED.
set -euo pipefail
cd "$(dirname "$0")/../.."

if ! command -v clang++ >/dev/null; then
  echo "== stream fuzzing SKIPPED: clang++ is not installed (scripts/setup installs it)" >&2
  exit 0
fi
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S tests/fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build build/fuzz -j "$(nproc)" >/dev/null

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
VELUNDA_FUZZ_SEEDS=$corpus build/debug/tests/cli_tests --gtest_filter='Streams/InputStream.*' \
  >/dev/null
rm -f build/fuzz/found-*
echo "== stream fuzzing for ${VELUNDA_FUZZ_SECONDS:-25} s ($(ls "$corpus" | wc -l) seeds)"
if ! build/fuzz/stream_fuzz -max_total_time="${VELUNDA_FUZZ_SECONDS:-25}" -timeout=5 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build/fuzz/found- "$corpus" \
  >build/fuzz/log 2>&1; then
  tail -n 40 build/fuzz/log >&2
  echo "stream fuzzing failed; the input is kept: $(ls build/fuzz/found-* 2>/dev/null)" >&2
  exit 1
fi
grep -E '^stat::number_of_executed_units' build/fuzz/log || true
