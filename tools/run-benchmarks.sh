#!/usr/bin/env bash
# Runs every benchmark program of a bench build. Usage: tools/run-benchmarks.sh BUILD_DIR
set -euo pipefail
dir=${1:?build dir}
shopt -s nullglob
progs=("$dir"/bench/*)
[[ ${#progs[@]} -gt 0 ]] || { echo "bench: no benchmarks built"; exit 0; }
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for p in "${progs[@]}"; do
  [[ -x "$p" && -f "$p" ]] || continue
  echo "== $(basename "$p")"
  "$p" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
