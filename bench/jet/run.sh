#!/usr/bin/env bash
# Jet writer throughput, and a full lssdb generate of one million lawyers with its peak memory.
set -euo pipefail
BUILD=${1:-build}
if [ -x "$BUILD/bench/jet/bench_jet" ]; then
  "$BUILD/bench/jet/bench_jet"
fi
out=$(mktemp -d)
/usr/bin/time -f "lssdb generate --lawyers 1000000: %e s, peak %M KB" \
  "$BUILD/tools/lssdb" generate "$out/big.mdb" --lawyers 1000000
ls -l "$out/big.mdb"
rm -rf "$out"
