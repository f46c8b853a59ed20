#!/usr/bin/env bash
# options_test.sh PROGRAM COMPLETION MANUAL: the program's own --help is the reference. Its bash
# completion offers exactly the commands, options and choice values the help lists, and its
# manual mentions every command and option; files and the directory table's names are offered
# where the program takes them.
set -uo pipefail
program=$1 completion=$2 manual=$3
name=$(basename -- "$program")
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
export TALVO_CONFIG=$tmp/talvo.ini HOME=$tmp XDG_DATA_HOME=$tmp/share

# shellcheck source=/dev/null
source "$completion"
function=$(complete -p "$name" 2>/dev/null | sed -n 's/.*-F \([^ ]*\).*/\1/p')
[[ -n $function ]] || { echo "FAIL $completion registers no function for $name"; exit 1; }

# offers WORD...: what the completion offers for the command line `PROGRAM WORD...` while the
# last word is being typed, sorted, one per line.
offers() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "$function" "$name" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort
}
# What a help text lists: its long options, the values of one choice option, its commands.
long_options() { sed -n 's/^  \(-[a-zA-Z],\)\{0,1\}\(--[a-z][a-z-]*\).*/\2/p' | sort -u; }
choices() { sed -n "s/^  $1 [A-Z]*:{\([^}]*\)}.*/\1/p" | tr ',' '\n' | sort; }
commands() { sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' | sort; }

same() {  # same WHAT EXPECTED ACTUAL
    if [[ $2 != "$3" ]]; then
        fail "$1"
        diff <(echo "$2") <(echo "$3") | sed -n 's/^[<>]/   &/p'
    fi
}
mentioned() {  # in roff, "--dir" is written "\-\-dir"
    grep -qF -- "${1//-/\\-}" "$manual" || fail "the manual does not mention $1"
}

# check_level WORD...: the options (and their choice values) of `PROGRAM WORD... --help`.
check_level() {
    local help option values
    help=$("$program" "$@" --help) || { fail "$name $* --help fails"; return; }
    [[ -n $(long_options <<<"$help") ]] || fail "$name $* --help lists no option"
    same "options offered for $name $*" "$(long_options <<<"$help")" "$(offers "$@" --)"
    for option in $(long_options <<<"$help"); do
        mentioned "$option"
        values=$(choices "$option" <<<"$help")
        [[ -z $values ]] || same "values offered for $name $* $option" "$values" "$(offers "$@" "$option" '')"
    done
}

check_level
top_commands=$("$program" --help | commands)
if [[ -n $top_commands ]]; then
    same "commands offered" "$top_commands" "$(offers '')"
    for command in $top_commands; do
        check_level "$command"
        grep -qE "^(\.BI? \"?|\\\\fB)$command([ \"\\\\]|$)" "$manual" ||
            fail "the manual does not describe the command $command"
    done
fi

# Files where the program takes a file, names with spaces kept whole.
mkdir -p "$tmp/data"
: >"$tmp/data/cust file"
: >"$tmp/data/custom"
file_words=("$tmp/data/cu")
[[ $name == talvo ]] && file_words=(stat "$tmp/data/cu")
same "files offered" "$tmp/data/cust file"$'\n'"$tmp/data/custom" "$(offers "${file_words[@]}")"

# The directory table's names where the program takes one.
if [[ $name == talvo ]]; then
    "$program" dirs set DAT "$tmp/data" >/dev/null && "$program" dirs set XY "$tmp" >/dev/null ||
        fail "talvo dirs set fails"
    same "names offered for --dir" $'DAT\nXY' "$(offers stat CUST --dir '')"
    same "names offered for dirs remove" "XY" "$(offers dirs remove X)"
    same "actions offered for dirs" $'list\nremove\nset' "$(offers dirs '')"
    same "actions offered for subkey" $'add\nlist' "$(offers subkey CUST '')"
fi

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "$name: completion and manual agree with --help"
