#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a while, each on a copy of its corpus.
# Usage: tools/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
dir=${1:?build dir}
secs=${2:-300}
cd "$dir"
ctest -N -R '^fuzz\.' | sed -n 's/^ *Test *#[0-9]*: fuzz\.//p' | while read -r name; do
  corpus=$(ctest -V -N -R "^fuzz\.${name}\$" | sed -n 's/.*Test command: [^ ]* .* \(\/[^ ]*\)$/\1/p' | tail -n1)
  echo "== $name ($secs s)"
  work=$(mktemp -d)
  [[ -d "$corpus" ]] && cp -r "$corpus"/. "$work"/
  "fuzz/$name" -max_total_time="$secs" -rss_limit_mb=2048 "$work"
done
