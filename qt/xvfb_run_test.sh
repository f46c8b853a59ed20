#!/usr/bin/env bash
# Runs the built ordelin under Xvfb as a person starts it, on a real keyed file made with the
# talvo tool: the window comes up with its title and the template's size, takes typed keys, and
# Escape closes it with status 0; a key defined with the keyboard alone builds a real output file
# (its closing box answered, the window closed, status 0); the same key chosen by name in the
# record layout window (opened from the system menu, the copybook opened in its file chooser)
# builds the same file; a refused network shows its box, Enter answers it, status 1; started as
# the desktop's menu starts it, the window asks for the file and the directory name first, and
# the main window then opens on the file typed.
#   xvfb_run_test.sh ORDELIN TALVO
set -euo pipefail

# In the X session: starts ordelin with the arguments given, waits for a window named "Ordelin",
# gives it the keyboard, presses the keys given in $KEYS, and prints "status N" when ordelin ends.
# Besides keys and "type:TEXT", $KEYS may hold "box" (the keyboard to the newest other window
# named "Ordelin": a message box), "main" (back to the first window), "layout" (to the record
# layout window) and "chooser" (to its file chooser, "Open Copybook"). When $CHOOSER holds keys,
# a window named "Ordelin Utility" (the questions before the start) comes first and gets those.
if [ "${1:-}" = "--session" ]; then
  shift
  # "at X,Y size WxH" of a window.
  where() {
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "at $X,$Y size ${WIDTH}x$HEIGHT"
  }
  "$ORDELIN" "$@" 2>"$WORK/stderr" &
  pid=$!
  if [ -n "${CHOOSER:-}" ]; then
    chooser=$(timeout 30 xdotool search --sync --onlyvisible --name '^Ordelin Utility$' | head -1)
    echo "chooser $(xdotool getwindowgeometry "$chooser" | sed -n 's/ *Geometry: //p')"
    xdotool windowfocus --sync "$chooser"
    sleep 0.5
    for key in $CHOOSER; do
      case $key in
        type:*) xdotool type --delay 20 "${key#type:}" ;;
        *) xdotool key --delay 20 "$key" ;;
      esac
      sleep 0.1
    done
  fi
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Ordelin$' | head -1)
  echo "window $(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')"
  xdotool windowfocus --sync "$window"
  sleep 0.5
  for key in $KEYS; do
    case $key in
      type:*) xdotool type --delay 20 "${key#type:}" ;;
      box)
        box=
        for _ in $(seq 100); do
          # Nothing found yet is no failure: the search is asked again.
          box=$(xdotool search --onlyvisible --name '^Ordelin$' | grep -v "^$window\$" | tail -1 ||
            true)
          [ -n "$box" ] && break
          sleep 0.2
        done
        echo "box $(xdotool getwindowgeometry "$box" | sed -n 's/ *Geometry: //p')"
        xdotool windowfocus --sync "$box"
        sleep 0.3
        ;;
      main)
        echo "main $(where "$window")"
        xdotool windowfocus --sync "$window"
        sleep 0.3
        ;;
      layout | chooser)
        pattern='^Record Layout'
        [ "$key" = chooser ] && pattern='^Open Copybook'
        other=
        for _ in $(seq 100); do
          other=$(xdotool search --onlyvisible --name "$pattern" | tail -1 || true)
          [ -n "$other" ] && break
          sleep 0.2
        done
        echo "$key $(where "$other")"
        xdotool windowfocus --sync "$other"
        sleep 0.3
        ;;
      *) xdotool key --delay 20 "$key" ;;
    esac
    sleep 0.1
  done
  status=0
  timeout 30 tail --pid="$pid" -f /dev/null || { kill "$pid"; echo "ordelin did not end"; }
  wait "$pid" || status=$?
  echo "status $status"
  exit 0
fi

ordelin=$1
talvo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/home" "$work/windows"
export TALVO_CONFIG="$work/talvo.ini" XDG_DATA_HOME="$work/home" ORDELIN_WINDIR="$work/windows"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
"$talvo" gen "$work/data/CUST" --records 2000 --layout customer --type 4 >/dev/null

export ORDELIN="$ordelin" WORK="$work"

# A session that ends early (a window that never came, a step that failed) still shows what it
# printed and what ordelin wrote to its standard error.
run() {
  xvfb-run -a -s "-screen 0 ${SCREEN:-1280x1024}x24" "$0" --session "$@" ||
    echo "the session ended with status $?"
}

fail() {
  echo "FAIL: $*"
  [ -s "$WORK/stderr" ] && { echo "-- ordelin's standard error:"; cat "$WORK/stderr"; }
  exit 1
}

echo "== ordelin $work/data/CUST /DDAT: type a name, Tab, Escape"
out=$(KEYS="ctrl+a type:CUSTX Tab Escape" run "$work/data/CUST" /DDAT)
echo "$out"
grep -q '^window [0-9]\+x[0-9]\+' <<<"$out" || fail "no window"
grep -q '^status 0$' <<<"$out" || fail "status is not 0"
# The window is the template's 336 x 260 dialog units: wider than high, about 4:3.
size=$(sed -n 's/^window \([0-9]*\)x\([0-9]*\)$/\1 \2/p' <<<"$out")
read -r width height <<<"$size"
(( width > height && width * 10 / height >= 12 && width * 10 / height <= 14 )) ||
  fail "window of $width x $height is not the dialog's shape"

echo "== ordelin $work/data/CUST /DDAT: a key of city and number by keyboard, Build File"
# Output name; the directory list dropped down and DAT chosen; key size 26; the field 61/18
# added; back to the position, 0, the 8 bytes left added: Build File has the focus, Enter.
keys="ctrl+a type:CUSTCITY Tab alt+Down Down Return Tab Tab ctrl+a type:26 Tab ctrl+a type:61"
keys+=" Tab ctrl+a type:18 Tab space shift+Tab shift+Tab ctrl+a type:0 Tab Tab space Return"
out=$(KEYS="$keys box Return main Escape" run "$work/data/CUST" /DDAT)
echo "$out"
grep -q '^box [0-9]\+x[0-9]\+' <<<"$out" || fail "no closing box"
grep -q '^status 0$' <<<"$out" || fail "status is not 0"
stat=$("$talvo" stat "$work/data/CUSTCITY")
echo "$stat"
# 2000 records, none deleted, each under its own key of 26 bytes.
grep -qE '^key size +26$' <<<"$stat" || fail "the output's key size is not 26"
grep -qE '^records +2000$' <<<"$stat" || fail "the output does not hold the 2000 records"
grep -qE '^keys +2000$' <<<"$stat" || fail "the output does not hold 2000 keys"
"$talvo" check "$work/data/CUSTCITY" >/dev/null || fail "the output file is not sound"

echo "== ordelin $work/data/CUST /DDAT: the same key chosen by name in the record layout window"
cp "$(dirname "$0")/../demo/customer.cpy" "$work/customer.cpy"
# Output name, DAT, key size 26, on to Position; the system menu's Record Layout (L); Open
# Copybook (Alt+O) and its path typed into the chooser; the fields (Alt+F), the city found by
# typing its name; Add Key Field (the dialog's focus is on it); the number likewise; Build File
# (it has the focus once the key is complete).
keys="ctrl+a type:CUSTBYNAME Tab alt+Down Down Return Tab Tab ctrl+a type:26 Tab alt+space l"
keys+=" layout alt+o chooser type:$work/customer.cpy Return layout alt+f type:CUST-CITY"
keys+=" main space layout Home type:CUST-NO main space Return box Return main Escape"
out=$(SCREEN=1920x1080 KEYS="$keys" run "$work/data/CUST" /DDAT)
echo "$out"
grep -q '^layout at [0-9]*,[0-9]* size [0-9]\+x[0-9]\+' <<<"$out" || fail "no record layout window"
grep -q '^chooser ' <<<"$out" || fail "no file chooser for the copybook"
grep -q '^box [0-9]\+x[0-9]\+' <<<"$out" || fail "no closing box"
grep -q '^status 0$' <<<"$out" || fail "status is not 0"
# Beside the dialog (moved aside to make room for it): to its right, not over it.
read -r mainx mainw < <(sed -n 's/^main at \([0-9]*\),[0-9]* size \([0-9]*\)x.*/\1 \2/p' <<<"$out" | tail -1)
read -r layoutx < <(sed -n 's/^layout at \([0-9]*\),.*/\1/p' <<<"$out" | head -1)
(( layoutx >= mainx + mainw )) || fail "the layout window at x=$layoutx lies over the dialog"
stat=$("$talvo" stat "$work/data/CUSTBYNAME")
grep -qE '^key size +26$' <<<"$stat" || fail "the output's key size is not 26"
grep -qE '^records +2000$' <<<"$stat" || fail "the output does not hold the 2000 records"
"$talvo" check "$work/data/CUSTBYNAME" >/dev/null || fail "the output file is not sound"
# The file the positions built: the same records in the same key order.
cmp <("$talvo" export "$work/data/CUSTBYNAME" --order key --format lines) \
    <("$talvo" export "$work/data/CUSTCITY" --order key --format lines) ||
  fail "the key chosen by name did not build the file of the key given by positions"

echo "== ordelin --choose: the file typed, the name typed over the offer, Enter; then Escape"
out=$(CHOOSER="type:$work/data/CUST Tab Tab ctrl+a type:cu Return" KEYS="Escape" run --choose)
echo "$out"
grep -q '^chooser [0-9]\+x[0-9]\+' <<<"$out" || fail "no chooser"
grep -q '^window [0-9]\+x[0-9]\+' <<<"$out" || fail "no main window after the chooser"
size=$(sed -n 's/^window \([0-9]*\)x\([0-9]*\)$/\1 \2/p' <<<"$out")
read -r width height <<<"$size"
(( width > height && width * 10 / height >= 12 && width * 10 / height <= 14 )) ||
  fail "the window after the chooser, $width x $height, is not the main dialog"
grep -q '^status 0$' <<<"$out" || fail "status is not 0"

echo "== ordelin $work/data/CUST /DDAT /NET:SERVER: the connection's box, Enter"
out=$(KEYS="Return" run "$work/data/CUST" /DDAT /NET:SERVER)
echo "$out"
grep -q '^status 1$' <<<"$out" || fail "status is not 1"
echo "PASS"
