#!/usr/bin/env bash
# Starts the player from a release build. Usage: tools/run-player.sh BUILD_DIR
set -euo pipefail
dir=${1:?build dir}
if [[ ! -x "$dir/bin/lirvo" ]]; then
  echo "The player window is not built yet: this checkout has no bin/lirvo program."
  exit 1
fi
exec "$dir/bin/lirvo" "$@"
