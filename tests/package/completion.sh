#!/usr/bin/env bash
# The bash completion, run in bash against the built program: each row is what is typed
# and what Tab offers (the words, in order), in a folder holding a.img, notes.txt and sub/.
# Usage: completion.sh PROGRAM-DIR COMPLETION-SCRIPT
set -uo pipefail
export PATH="$1:$PATH"
source /usr/share/bash-completion/bash_completion || exit 1
source "$2" || exit 1
cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
touch a.img notes.txt && mkdir sub

offered() {
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quorlink quorlink "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

failed=0
while IFS='|' read -r typed expected; do
    read -ra words <<<"$typed"
    [[ $typed == *' ' ]] && words+=("")
    got=$(offered "${words[@]}")
    if [ "${got% }" != "$expected" ]; then
        echo "\"$typed\": expected \"$expected\", got \"${got% }\""
        failed=1
    fi
done <<'ROWS'
quorlink re|read
quorlink read --po|--port
quorlink --config x.ini re|read
quorlink --quiet ch|channels
quorlink write --f|--fix-sums --ftdi
quorlink read --port COM3|COM3 COM30 COM31 COM32
quorlink read --demo=VX-8D|VX-8DR
quorlink info |a.img sub
quorlink compare a.img |a.img sub
quorlink --config |sub
quorlink --settings |sub
quorlink ports |
quorlink channels --pdf |sub
quorlink channels --pd|--pdf
quorlink channels --po|--pocket
quorlink channels --list p|pms
quorlink import --l|--list
quorlink import --f|--fix-sums --force
quorlink settings a.img --set aprs.call|aprs.callsign=
quorlink compare --settings |a.img sub
ROWS
exit $failed
