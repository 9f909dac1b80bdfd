#!/usr/bin/env bash
# Rebuilds blocks/*.bin from values/*.json with `qlx5100-status encode`, and
# expected/*.xml from the blocks. Run after changing a value file, then review
# the diff: the expected XML is what the tests hold the tool to.
#   examples/regenerate.sh [path/to/qlx5100-status]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tool=${1:-../build/dev/tools/qlx5100-status/qlx5100-status}
for values in values/*.json; do
  name=$(basename "$values" .json)
  "$tool" encode "$values" -o "blocks/$name.bin"
  "$tool" "blocks/$name.bin" > "expected/$name.xml"
done
