#!/usr/bin/env bash
# Runs every benchmark of the project: bench/*/run.sh BUILDDIR.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
for script in bench/*/run.sh; do
  [ -f "$script" ] || continue
  bash "$script" "$BUILD"
done
