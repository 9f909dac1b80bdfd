#!/usr/bin/env bash
# The tool's descriptions of itself agree: every option --help lists (the
# main program's and each subcommand's) is in docs/cli.md and in the man page,
# both written from the option table; the exit codes and the formats of
# --help (written from their tables) are the page's; and the man page renders
# without warnings.
#
#   docs_test.bash TOOL CLI_MD MAN_PAGE
set -uo pipefail
tool=$1
cli_md=$2
page=$3

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

options() { # the long options of one --help text
  grep -oE '^  (-[a-zA-Z0-9],)?--[a-z0-9-]+' | sed 's/.*,//' | grep -vx -- --help
}
help=$("$tool" --help)
subcommands=$(sed -n '/^Subcommands:$/,/^$/p' <<<"$help" | awk 'NR > 1 && NF { print $1 }')
for context in "" $subcommands; do
  # shellcheck disable=SC2086 # no subcommand: no word
  for option in $("$tool" $context --help | options); do
    grep -qF -- "\`$option" "$cli_md" || fail "${context:+$context }$option is not in $cli_md"
    grep -qF -- "${option//-/\\-}" "$page" || fail "${context:+$context }$option is not in the man page"
  done
done
# The exit codes: --help lists the same ones as the page's table.
help_codes=$(sed -n '/^Exit codes:$/,/^$/p' <<<"$help" | grep -oE '^  [0-9]+ ' | tr -d ' ' | sort -n)
page_codes=$(sed -n '/^## Exit codes$/,/^## /p' "$cli_md" | grep -oE '^\| [0-9]+ \|' | tr -d '| ' | sort -n)
[[ -n $help_codes && $help_codes == "$page_codes" ]] ||
  fail "exit codes in --help (${help_codes//$'\n'/ }) and $cli_md (${page_codes//$'\n'/ }) differ"
# The formats: each of --help's has its section in the page, and no other.
help_formats=$(sed -n '/^Output (/,/^$/p' <<<"$help" | grep -oE '^  [a-z][a-z-]* ' | tr -d ' ' | sort)
page_formats=$(sed -n '/^## Output formats$/,/^## /p' "$cli_md" | grep -oE '^### [a-z][a-z-]*' | cut -c5- | sort)
[[ -n $help_formats && $help_formats == "$page_formats" ]] ||
  fail "formats in --help (${help_formats//$'\n'/ }) and $cli_md (${page_formats//$'\n'/ }) differ"
for subcommand in $subcommands; do
  grep -qF -- "$subcommand" "$page" || fail "$subcommand is not in the man page"
done

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man reports: $warnings"

((failures == 0)) || exit 1
echo "ok: every option of --help is in $cli_md and the man page"
