#!/usr/bin/env bash
# Runs every benchmark: each folder of bench/ with a run.sh, given the build folder.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
found=0
for script in bench/*/run.sh; do
    [ -e "$script" ] || continue
    found=1
    echo "== ${script%/run.sh}"
    bash "$script" "$build"
done
[ "$found" = 1 ] || echo "No benchmarks yet."
