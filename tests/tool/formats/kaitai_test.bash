#!/usr/bin/env bash
# kaitai_test.bash NODE_DIR KSY_COMMAND TOOL EXAMPLES_DIR
#
# Writes the .ksy with KSY_COMMAND, then runs kaitai_test.js with the npm
# packages under NODE_DIR/node_modules. Exits 77 (skipped) where node or the
# packages are missing: ./scripts/setup describe installs them.
set -euo pipefail
node_dir=$1 ksy_command=$2 tool=$3 examples=$4

if ! command -v node >/dev/null 2>&1; then
  echo "skipped: node is not installed (./scripts/setup describe)"
  exit 77
fi
for package in kaitai-struct-compiler kaitai-struct js-yaml; do
  if [[ ! -d $node_dir/node_modules/$package ]]; then
    echo "skipped: the npm package $package is not in $node_dir (./scripts/setup describe)"
    exit 77
  fi
done

ksy=$(mktemp --suffix=.ksy)
trap 'rm -f "$ksy"' EXIT
# shellcheck disable=SC2086 # the command and its arguments
$ksy_command >"$ksy"
NODE_PATH=$node_dir/node_modules node "$(dirname "$0")/kaitai_test.js" "$ksy" "$tool" "$examples"
