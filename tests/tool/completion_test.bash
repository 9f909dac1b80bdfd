#!/usr/bin/env bash
# The generated bash completion, driven the way bash drives it: the function
# that `complete -p qlx5100-status` names is called with COMP_WORDS and
# COMP_CWORD set for a command line, and COMPREPLY is compared.
#
#   completion_test.bash COMPLETION_FILE TOOL
set -uo pipefail
completion=$1
tool=$2

# shellcheck source=/dev/null
source "$completion"
registered=$(complete -p qlx5100-status) || {
  echo "FAIL: $completion registers no completion for qlx5100-status"
  exit 1
}
completeLine=$(sed -n 's/.* -F \([^ ]*\) .*/\1/p' <<<"$registered")

# File names complete from a folder of our own.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch block.bin dump.xxd values.json

failures=0
# check LINE EXPECTED: LINE ends where the cursor is ("" for a new word).
check() {
  local line=$1 expected=$2 actual
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line COMP_POINT=${#line}
  COMPREPLY=()
  "$completeLine" qlx5100-status "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  actual=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [[ $actual == "$expected" ]]; then
    echo "ok: '$line' -> $actual"
  else
    echo "FAIL: '$line' -> '$actual', expected '$expected'"
    failures=$((failures + 1))
  fi
}

# COMP_WORDS as bash splits them: '=' is a word of its own.
check 'qlx5100-status --form' '--format'
check 'qlx5100-status --log-l' '--log-level'
check 'qlx5100-status --format ' 'csv html json json-schema ksy ndjson prometheus table tsv xml'
check 'qlx5100-status -f j' 'json json-schema'
check 'qlx5100-status --format = t' 'table tsv'
check 'qlx5100-status --input-format ' 'auto binary hex'
check 'qlx5100-status --log-level i' 'inout'
check 'qlx5100-status --module b' 'block.bin'
check 'qlx5100-status d' 'diff dump.xxd'
check 'qlx5100-status en' 'encode'
check 'qlx5100-status encode --o' '--output'
check 'qlx5100-status encode -o v' 'values.json'
check 'qlx5100-status diff block.bin --form' '--format'
check 'qlx5100-status diff block.bin -f ' 'csv html json json-schema ksy ndjson prometheus table tsv xml'
check 'qlx5100-status diff ' 'block.bin dump.xxd values.json'
check 'qlx5100-status --version' '--version'

# Every option and subcommand the tool lists, and every key of its field
# dictionary where an option takes keys.
help=$("$tool" --help)
for option in $(grep -oE '^  (-[a-zA-Z],)?--[a-z-]+' <<<"$help" | sed 's/.*,//'); do
  check "qlx5100-status $option" "$option"
done
keys=$("$tool" --describe | awk 'NR > 1 { print $1 }' | sort -u | paste -sd ' ')
if grep -qE '^  -e,--field' <<<"$help"; then
  check 'qlx5100-status -e ' "$keys"
  check 'qlx5100-status --field Heater' "$(tr ' ' '\n' <<<"$keys" | grep '^Heater' | paste -sd ' ')"
fi

((failures == 0)) || {
  echo "$failures completion(s) wrong"
  exit 1
}
