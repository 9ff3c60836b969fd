#!/usr/bin/env bash
# Completes a few b6409ctl command lines with the installed-to-be bash completion, as bash does
# on Tab, and compares the candidates.
#   completion_test.sh COMPLETION_SCRIPT
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/list.dat" "$folder/frames.xls" "$folder/line4.json" "$folder/notes.txt"
cd "$folder" || exit 1

failures=0
# complete LINE EXPECTED: LINE's last word is completed; EXPECTED is the sorted candidates.
complete_line() {
    local line=$1 expected=$2
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _b6409ctl
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$expected" ]]; then
        echo "'$line': expected '$expected', got '$got'"
        failures=$((failures + 1))
    fi
}

complete_line "b6409ctl --mod" "--module-port"
complete_line "b6409ctl --device pc" "pcc2 pcc4 pcm1"
complete_line "b6409ctl --port COM25" "COM25 COM250 COM251 COM252 COM253 COM254 COM255 COM256"
complete_line "b6409ctl --device uhv2 get-" "get-baud get-busoff get-listen-only"
complete_line "b6409ctl --module-port 2 download " "list.dat"
complete_line "b6409ctl read " "filter mapping"
complete_line "b6409ctl read filter --save " "list.dat"
complete_line "b6409ctl export list.dat " "frames.xls"
complete_line "b6409ctl profile apply " "line4.json"
complete_line "b6409ctl info " ""
exit $((failures > 0))
