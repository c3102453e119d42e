#!/usr/bin/env bash
# Runs every fuzz target in FOLDER for SECONDS seconds, seeded with its
# corpus folder fuzz/corpus/<target> when there is one, and with the test
# files listed in fuzz/corpus/<target>.seeds (paths from the repository root).
set -euo pipefail
folder=$1
seconds=${2:-60}
repo=$(cd "$(dirname "$0")/.." && pwd)
status=0
for target in "$folder"/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  work="$folder/corpus-$name"
  mkdir -p "$work"
  if [[ -f "$repo/fuzz/corpus/$name.seeds" ]]; then
    while read -r seed; do
      [[ -n "$seed" ]] && cp "$repo/$seed" "$work/"
    done <"$repo/fuzz/corpus/$name.seeds"
  fi
  seeds=()
  [[ -d "$repo/fuzz/corpus/$name" ]] && seeds=("$repo/fuzz/corpus/$name")
  echo "== $name: ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$folder/$name-" \
      "$work" "${seeds[@]}" 2>"$folder/$name.log"; then
    status=1
    tail -40 "$folder/$name.log"
  else
    grep -E "stat::number_of_executed_units|Done" "$folder/$name.log" | tail -2
  fi
done
exit $status
