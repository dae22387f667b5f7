#!/usr/bin/env bash
# Load test of the host database: 8 till processes post 2,000 purchases each
# against one member pool, on SQLite and on a throwaway PostgreSQL cluster,
# then check that every order was charged once or not at all and every
# balance matches its charges. Prints purchases per second per engine.
#   scripts/load-test.sh [--tills N] [--purchases N] [--engine sqlite|postgresql|both]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DQUORL_BENCH=ON >/dev/null
cmake --build build -j2 --target host_load
exec build/bin/host_load "$@"
