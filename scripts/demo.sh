#!/usr/bin/env bash
# The main job: builds everything and runs a short session with what exists.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  echo "usage: scripts/demo.sh    builds the project and runs a demo session"; exit 0
fi
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2
for step in scripts/demo.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== $(basename "$step" .sh)"
  bash "$step"
done
