#!/usr/bin/env bash
# launcher_test.sh LAUNCHER: runs the desktop entry's launcher in an installation of its own
# (libexec/ordelin/ordelin-open beside bin/ordelin) with stand-ins for the program and for the
# dialog tools, and checks what the user is asked and what the window is started with.
set -uo pipefail
launcher=$1
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
failures=0

mkdir -p "$tmp/prefix/libexec/ordelin" "$tmp/prefix/bin" "$tmp/sys" "$tmp/data dir/my cust"
cp -- "$launcher" "$tmp/prefix/libexec/ordelin/ordelin-open"
: >"$tmp/data dir/my cust/CUST"
# Only the system's basic tools, so that no real dialog tool is found.
for tool in bash cat dirname basename readlink mktemp rm; do
    ln -s "$(command -v "$tool")" "$tmp/sys/$tool"
done

# The window's stand-in records its arguments, one per line, and answers as told.
cat >"$tmp/prefix/bin/ordelin" <<'STAND_IN'
#!/usr/bin/env bash
printf '%s\n' "$@" >"$STATE/ordelin.args"
[[ -n ${ORDELIN_STDERR:-} ]] && printf '%s\n' "$ORDELIN_STDERR" >&2
exit "${ORDELIN_STATUS:-0}"
STAND_IN
# A dialog tool's stand-in logs each call and gives the next answer of $STATE/answers
# ("STATUS TEXT" per line).
cat >"$tmp/dialog" <<'STAND_IN'
#!/usr/bin/env bash
printf '%s' "$(basename "$0")" >>"$STATE/dialogs"
printf ' [%s]' "${@//$'\n'/\\n}" >>"$STATE/dialogs"  # line breaks shown as \n
printf '\n' >>"$STATE/dialogs"
case " $* " in *" --error "* | *" --error="*) exit 0 ;; esac
n=$(($(cat "$STATE/asked" 2>/dev/null || echo 0) + 1))
echo "$n" >"$STATE/asked"
answer=$(sed -n "${n}p" "$STATE/answers")
[[ -n ${answer#* } ]] && printf '%s\n' "${answer#* }"
exit "${answer%% *}"
STAND_IN
chmod +x "$tmp/prefix/bin/ordelin" "$tmp/dialog"
ln -s "$(command -v sed)" "$tmp/sys/sed"

# run NAME TOOL ANSWERS [ARGS...]: runs the launcher with the dialog tool TOOL (zenity,
# kdialog or none) answering ANSWERS (lines), in $tmp/data dir as the current directory.
run() {
    local name=$1 tool=$2 answers=$3
    shift 3
    current=$name
    export STATE=$tmp/state-$name
    mkdir -p "$STATE/tools"
    printf '%s\n' "$answers" >"$STATE/answers"
    [[ $tool != none ]] && ln -s "$tmp/dialog" "$STATE/tools/$tool"
    (cd "$tmp/data dir" && PATH="$STATE/tools:$tmp/sys" HOME=$tmp \
        "$tmp/prefix/libexec/ordelin/ordelin-open" "$@" >"$STATE/out" 2>"$STATE/err")
    status=$?
}

expect() {  # expect WHAT ACTUAL EXPECTED
    if [[ $2 != "$3" ]]; then
        printf 'FAIL %s: %s\n  got:      %q\n  expected: %q\n' "$current" "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
started_with() { cat "$STATE/ordelin.args" 2>/dev/null || echo "(not started)"; }
dialogs() { cat "$STATE/dialogs" 2>/dev/null; }

file="$tmp/data dir/my cust/CUST"

# From the menu: the file is chosen, the name offered from the folder's name, then typed.
run menu zenity $'0 '"$file"$'\n0 DAT'
expect status "$status" 0
expect arguments "$(started_with)" "$file"$'\n/DDAT'
expect "first question" "$(dialogs | sed -n 1p)" \
    "zenity [--file-selection] [--title=Ordelin Utility: choose the input data file]"
expect "second question offers" "$(dialogs | sed -n '2s/.*\[--entry-text=\(.*\)\]$/\1/p')" MYC

# From a file manager: a relative file is made absolute; only the name is asked.
run given zenity '0 ab' "my cust/CUST"
expect status "$status" 0
expect arguments "$(started_with)" "$file"$'\n/Dab'
expect questions "$(dialogs | wc -l)" 1

# Cancelling either question starts nothing.
run cancel-file zenity '1 '
expect status "$status" 0
expect arguments "$(started_with)" "(not started)"
run cancel-name zenity $'0 '"$file"$'\n1 '
expect status "$status" 0
expect arguments "$(started_with)" "(not started)"

# A name the command line cannot carry, or the file system would refuse, is asked again,
# offering what was typed.
run bad-names zenity $'0 A B\n0 ABCD\n0 A"\n0 XY' "$file"
expect status "$status" 0
expect arguments "$(started_with)" "$file"$'\n/DXY'
expect "errors shown" "$(dialogs | grep -c -- '--error')" 3
expect "offered again" "$(dialogs | sed -n '3s/.*\[--entry-text=\(.*\)\]$/\1/p')" "A B"

# A command line the window refuses: its usage line is shown, its status passed on.
ORDELIN_STATUS=2 ORDELIN_STDERR="usage: ordelin FILE /DNAME [/NET:NAME]" \
    run refused zenity '0 DAT' "$file"
expect status "$status" 2
expect "error shown" "$(dialogs | tail -n 1)" \
    "zenity [--error] [--title=Ordelin Utility] [--no-markup] [--text=usage: ordelin FILE /DNAME [/NET:NAME]]"
# A failed connection has shown its own box: nothing more.
ORDELIN_STATUS=1 run no-connection zenity '0 DAT' "$file"
expect status "$status" 1
expect "boxes" "$(dialogs | grep -c -- '--error')" 0

# The same questions through kdialog.
run kde kdialog $'0 '"$file"$'\n0 K1'
expect status "$status" 0
expect arguments "$(started_with)" "$file"$'\n/DK1'
expect "first question" "$(dialogs | sed -n 1p)" \
    "kdialog [--title] [Ordelin Utility: choose the input data file] [--getopenfilename] [$tmp]"
expect "second question offers" "$(dialogs | sed -n '2s/.*\] \[\(.*\)\]$/\1/p')" MYC

# Without any dialog tool: a plain message, nothing started.
run none none '' "$file"
expect status "$status" 1
expect arguments "$(started_with)" "(not started)"
expect message "$(grep -c 'ordelin FILE /DNAME' "$STATE/err")" 1

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "launcher: all checks passed"
