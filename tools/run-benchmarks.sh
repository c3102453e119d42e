#!/usr/bin/env bash
# Runs every benchmark of the build folder BUILD: the C++ programs, then the
# Python ones against the build's modules.
set -euo pipefail
build=${1:-build}
repo=$(cd "$(dirname "$0")/.." && pwd)
for program in "$build"/bench/bench_*; do
  [[ -x "$program" ]] || continue
  echo "== $(basename "$program")"
  "$program"
done
for script in "$repo"/bench/bench_*.py; do
  echo "== $(basename "$script")"
  PYTHONPATH="$(cd "$build" && pwd)/python" VELQUIN_BUILD_DIR="$(cd "$build" && pwd)" /usr/bin/python3 "$script"
done
