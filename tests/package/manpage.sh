#!/usr/bin/env bash
# Every option that the built programs' help prints is in their manual pages: those of
# "quorlink --help" anywhere in quorlink.1, those of "quorlink SUBCOMMAND --help" in the
# sub-command's own section or in "Options of every sub-command", and every sub-command
# has its section. Prints all that is missing.
# Usage: manpage.sh QUORLINK QUORLINK-RADIO SOURCE-DIR
set -euo pipefail
app=$1 radio=$2 pages=$3/packaging

# The options a help text names: --long-name and -x.
options() { grep -oE '(^|[ ,[(])--?[a-z][a-z0-9-]*' | sed 's/^[ ,[(]//' | sort -u; }
# A page as text: no font changes, plain hyphens.
plain() { sed -e 's/\\f[BIRP]//g; s/\\-/-/g' "$1"; }
# Whether text on stdin names option $1 (--demo is not named by --demo-if-no-cable).
names() { grep -qE -- "(^|[^a-z0-9-])$1([^a-z0-9-]|\$)"; }
# The lines of a section from the heading that matches $2 to the next heading.
section() { awk -v head="$1" '/^\.S[HS]/ { on = ($0 ~ head) } on'; }

missing=()
page=$(plain "$pages/quorlink.1")
help=$("$app" --help)
for o in $(options <<<"$help"); do
    names "$o" <<<"$page" || missing+=("quorlink $o")
done
commands=$(sed -n '/^Sub-commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help")
[ -n "$commands" ] || { echo "no sub-commands found in quorlink --help"; exit 1; }
common=$(section '^\.SS "Options of every sub-command"' <<<"$page")
for c in $commands; do
    own=$(section "^\\.SS \"quorlink $c " <<<"$page")
    [ -n "$own" ] || missing+=("quorlink $c (no section .SS \"quorlink $c ...\")")
    commandhelp=$("$app" "$c" --help)
    for o in $(options <<<"$commandhelp"); do
        names "$o" <<<"$own$common" || missing+=("quorlink $c $o")
    done
done
radiopage=$(plain "$pages/quorlink-radio.1")
radiohelp=$("$radio" --help)
for o in $(options <<<"$radiohelp"); do
    names "$o" <<<"$radiopage" || missing+=("quorlink-radio $o")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Not in the manual pages (packaging/quorlink.1, packaging/quorlink-radio.1):"
    printf '  %s\n' "${missing[@]}"
    exit 1
fi
echo "every option of $(wc -w <<<"$commands") sub-commands is in the manual pages"
