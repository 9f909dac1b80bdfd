#!/usr/bin/env bash
# The tool on a directory batch of COUNT files (default 10,000) in every
# format, against reading the same files with cat; and --stream over the same
# blocks as one pipe. Best of RUNS (default 5) wall times, output to
# /dev/null, the file cache warm. It reports figures; it is not a test.
#
#   bench/tool_batch.sh [TOOL] [COUNT] [RUNS]
#
# TOOL defaults to the bench tree's tool (cmake --preset bench && cmake
# --build --preset bench).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
tool=${1:-build/bench/tools/qlx5100-status/qlx5100-status}
count=${2:-10000}
runs=${3:-5}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/blocks"
examples=(examples/blocks/*.bin)
for ((i = 0; i < count; i++)); do
  cp "${examples[i % ${#examples[@]}]}" "$work/blocks/$(printf '%05d' "$i").bin"
done
cat "$work"/blocks/* >"$work/all.bin"

best() { # best wall time of runs of a command, in seconds
  local best=
  for ((r = 0; r < runs; r++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    best=$(awk -v a="$start" -v b="$end" -v best="$best" \
      'BEGIN { t = b - a; print (best == "" || t < best) ? t : best }')
  done
  echo "$best"
}

catTime=$(best sh -c "cat '$work'/blocks/*")
printf '%-26s %7.3f s\n' "cat (${count} files)" "$catTime"
for format in xml json table csv tsv ndjson; do
  t=$(best "$tool" --format "$format" "$work/blocks")
  printf '%-26s %7.3f s  %5.2fx cat\n' "--format $format" "$t" \
    "$(awk -v a="$t" -v b="$catTime" 'BEGIN { print a / b }')"
done
t=$(best sh -c "'$tool' --stream -f ndjson <'$work/all.bin'")
printf '%-26s %7.3f s  %5.2fx cat\n' "--stream -f ndjson (pipe)" "$t" \
  "$(awk -v a="$t" -v b="$catTime" 'BEGIN { print a / b }')"
