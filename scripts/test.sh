#!/usr/bin/env bash
# Installs what is needed, configures, builds and runs every test with CTest.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh --werror    compiler warnings fail the build (CI)
# Extra arguments after -- go to ctest (for example: -- -R ParseText).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
cmake_args=()
ctest_args=()
werror=OFF
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) build=build-asan; cmake_args+=(-DQUORL_SANITIZE=ON -DQUORL_BENCH=OFF) ;;
    --werror) werror=ON ;;
    --) shift; ctest_args=("$@"); break ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

scripts/setup.sh
scripts/check-layering.sh
cmake -S . -B "$build" -G Ninja -DQUORL_WERROR=$werror "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j2
# The API reference, with an undocumented public declaration as an error; the
# sanitizer build has nothing to add to it.
if [ "$build" = build ]; then cmake --build "$build" --target docs; fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure -j2 "${ctest_args[@]}"
