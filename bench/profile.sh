#!/usr/bin/env bash
# Profiles one benchmark of `bench` with callgrind and prints what one
# iteration costs, by function (see callgrind_summary.py).
#
#   bench/profile.sh BUILD_DIR BENCHMARK [PER_FUNCTION]
#   bench/profile.sh build/bench 'roundtrip/held/pinch:0'
#   bench/profile.sh build/bench 'baseline/pinch:0' baselineRoundTrip
#
# The whole run is collected (start-up included); the per-iteration figures
# come from the inclusive cost of PER_FUNCTION, which one iteration calls once.
# The profile is kept as callgrind.<benchmark>.out in the current directory.
set -euo pipefail
build=$1
name=$2
per=${3:-Analyzer::roundTrip}
here=$(cd "$(dirname "$0")" && pwd)
out="callgrind.${name//[^A-Za-z0-9:+.-]/_}.out"
valgrind --tool=callgrind --callgrind-out-file="$out" \
  "$build/bench/bench" --benchmark_filter="^${name}\$" --benchmark_repetitions=1 \
  --benchmark_min_time=0.5 >/dev/null 2>&1
"$here/callgrind_summary.py" "$out" --per "$per" --top "${TOP:-45}"
