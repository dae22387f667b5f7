#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs one.
#   scripts/fuzz.sh TARGET [SECONDS]     e.g. scripts/fuzz.sh json_parse_fuzz 600
#   scripts/fuzz.sh --list
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ] || [ $# -lt 1 ]; then
  sed -n '2,4p' "$0"; exit 0
fi
scripts/setup.sh >/dev/null
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUORL_FUZZ=ON -DQUORL_TESTS=OFF -DQUORL_BENCH=OFF >/dev/null
if [ "$1" = "--list" ]; then
  cmake --build build-fuzz --target help | grep -o '[a-z_]*_fuzz' | sort -u; exit 0
fi
target=$1; seconds=${2:-60}
cmake --build build-fuzz -j2 --target "$target"
corpus=build-fuzz/corpus/$target
mkdir -p "$corpus"
seeds=fuzz/corpus/$target
[ -d "$seeds" ] || seeds=""
ASAN_OPTIONS=detect_leaks=1 build-fuzz/bin/"$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
  -max_len=65536 "$corpus" $seeds
