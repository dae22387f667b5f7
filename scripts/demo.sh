#!/usr/bin/env bash
# The main job: builds everything, then runs a till session through the package.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  echo "usage: scripts/demo.sh    builds the project and runs a demo till session"; exit 0
fi
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2
started=$(date +%s)
# The steps run in this shell, one after the other: the session's services,
# folder and helpers (and the trap that stops the services) live across them.
for step in scripts/demo.d/[0-9]*.sh; do
  echo
  echo "== $(basename "$step" .sh)"
  # shellcheck source=/dev/null
  source "$step"
done
echo
echo "== session done in $(( $(date +%s) - started )) s"
