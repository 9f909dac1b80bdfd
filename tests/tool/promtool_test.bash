#!/usr/bin/env bash
# Every prometheus output passes promtool's check, whatever the bytes: the
# bundled examples one by one and as a batch, blocks whose texts hold control
# bytes, quotes, backslashes, line breaks, bytes that are not UTF-8 and
# reordering characters, files named with the same, a failed input, and
# constant labels holding them too.
#
# The example alerting rules pass `promtool check rules`.
#
#   promtool_test.bash TOOL EXAMPLES_DIR RULES    (exit 77: promtool is missing)
set -uo pipefail
tool=$1
examples=$2
rules=$3
promtool=${QLX5100_PROMTOOL:-promtool}
if ! command -v "$promtool" >/dev/null 2>&1; then
  echo "promtool is not installed: skipped (./scripts/setup monitoring installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
check() { # NAME, then the tool's arguments
  local name=$1 out
  shift
  "$tool" -f prometheus "$@" >"$work/out" 2>"$work/err"
  if ! out=$("$promtool" check metrics <"$work/out" 2>&1); then
    echo "FAIL: $name: promtool says: $out"
    failures=$((failures + 1))
  elif [[ ! -s $work/out ]]; then
    echo "FAIL: $name: no output ($(cat "$work/err"))"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

for block in "$examples"/blocks/*.bin; do
  check "$(basename "$block")" "$block"
done
check "the examples as a batch" "$examples/blocks"

# Hostile texts: CuttingCommandName (8 bytes at 0x334) and
# CuttingCommandVersion (4 bytes at 0x33C) overwritten in a copy of a block.
texts=(
  '\x01CUT\x09A\xff'
  'say"hi"\\'
  'a\nb\r\n}'
  '\xe2\x80\xaertl\xef\xbb\xbf'
  '\xc3\x28\xf0\x28\x8c\xbc'
  '# TYPE x'
  '\x7f\xc2\x85\xe2\x80\xa8'
)
mkdir "$work/hostile"
n=0
for text in "${texts[@]}"; do
  n=$((n + 1))
  file="$work/hostile/$n.bin"
  cp "$examples/blocks/normal-operation.bin" "$file"
  printf '%-12b' "$text" | head -c 12 | dd of="$file" bs=1 seek=$((0x334)) conv=notrunc status=none
  check "hostile text $n" "$file"
done
# Hostile names, beside a file too short to be a block.
cp "$examples/blocks/heater-fault.bin" "$work/hostile/"$'q"\\\n\x01\xff\xe2\x80\xae.bin'
head -c 100 "$examples/blocks/heater-fault.bin" >"$work/hostile/short.bin"
check "hostile names and a failed input, as a batch" "$work/hostile"
check "hostile constant labels" --label $'site=\\"\n\xff\xe2\x80\xae' --label printer=lab-3 \
  "$examples/blocks/normal-operation.bin"
# A stream writes an exposition per block: -o FILE holds the last one.
cat "$work"/hostile/*.bin >"$work/stream"
"$tool" -f prometheus --stream "$work/stream" -o "$work/stream.prom" 2>/dev/null
if ! out=$("$promtool" check metrics <"$work/stream.prom" 2>&1) || [[ ! -s $work/stream.prom ]]; then
  echo "FAIL: a stream's last block: promtool says: $out"
  failures=$((failures + 1))
else
  echo "ok: a stream's last block"
fi

if ! out=$("$promtool" check rules "$rules" 2>&1); then
  echo "FAIL: $rules: $out"
  failures=$((failures + 1))
fi

((failures == 0)) || exit 1
