#!/usr/bin/env bash
# The generated zsh and fish completions: both parse in their shell, and fish,
# which can be asked what it would offer (complete -C), offers the options,
# choices, field keys and subcommands of the table. Exit 77 (skipped) when
# neither shell is installed.
#
#   shell_completion_test.bash ZSH_COMPLETION FISH_COMPLETION
set -uo pipefail
zsh_file=$1
fish_file=$2
failures=0
ran=0

if command -v zsh >/dev/null; then
  ran=1
  zsh -n "$zsh_file" || { echo "FAIL: zsh -n $zsh_file"; failures=$((failures + 1)); }
  grep -q '^#compdef qlx5100-status$' "$zsh_file" || {
    echo "FAIL: $zsh_file has no #compdef line"
    failures=$((failures + 1))
  }
fi

if command -v fish >/dev/null; then
  ran=1
  fish --no-execute "$fish_file" || { echo "FAIL: fish --no-execute $fish_file"; failures=$((failures + 1)); }
  check() { # LINE EXPECTED: the candidates fish offers, sorted, blank-separated
    local actual
    actual=$(fish -c "source '$fish_file'; complete -C '$1'" | cut -f1 | sort | paste -sd ' ')
    if [[ $actual == "$2" ]]; then
      echo "ok: '$1' -> $actual"
    else
      echo "FAIL: '$1' -> '$actual', expected '$2'"
      failures=$((failures + 1))
    fi
  }
  check 'qlx5100-status --form' '--format'
  check 'qlx5100-status -f ' 'csv html json json-schema ksy ndjson prometheus table tsv xml'
  check 'qlx5100-status --log-level ' 'error inout none'
  check 'qlx5100-status -e HeaterT' 'HeaterTemperature'
  check 'qlx5100-status en' 'encode'
  check 'qlx5100-status encode --o' '--output'
  check 'qlx5100-status --gene' ''
fi

((ran)) || exit 77
((failures == 0)) || exit 1
