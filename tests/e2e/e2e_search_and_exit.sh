#!/usr/bin/env bash
# The real program under Xvfb, as a user drives it: it starts in a folder of history files, a transaction
# ID search is made from the keyboard (Alt+S, the first item, the ID typed, Enter), and File > Exit
# (Alt+F, x) ends it with exit code 0. Screenshots of the window go to the artefact folder.
#
#   e2e_search_and_exit.sh PROGRAM QV-GEN ARTEFACT-FOLDER
set -euo pipefail

program=$1
gen=$2
artefacts=$3
mkdir -p "$artefacts"
work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }

# Two overlapping files, so that the start-up merges them.
"$gen" --seed 1 --records 300 --first-id 0 --out "$work/history-a.csv" 2>/dev/null
"$gen" --seed 2 --records 300 --first-id 200 --out "$work/history-b.csv" 2>/dev/null
wanted=$("$gen" --print-id 250)

for n in $(seq 101 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=:$n
    break
  fi
done
[ -n "${display:-}" ] || fail "no free display number"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$artefacts/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display"

(cd "$work" && exec "$program") >"$artefacts/program.log" 2>&1 &
app=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvex history tool$' | head -n 1) ||
  fail "the main window did not appear"
sleep 1
xdotool windowfocus --sync "$window"
import -window root "$artefacts/e2e-started.png"

# Search > Transaction ID, from the keyboard.
xdotool key --clearmodifiers alt+s
sleep 0.5
xdotool key Return
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Search$' | head -n 1) ||
  fail "the search box did not open from Alt+S, Enter"
xdotool windowfocus --sync "$box"
xdotool type --delay 30 "$wanted"
import -window root "$artefacts/e2e-search-box.png"
xdotool key Return
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Search$' >/dev/null 2>&1 || break
  sleep 0.1
done
! xdotool search --onlyvisible --name '^Search$' >/dev/null 2>&1 || fail "Enter did not close the search box"
kill -0 "$app" 2>/dev/null || fail "the program ended during the search"
sleep 0.5
import -window root "$artefacts/e2e-found.png"

# File > Exit.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key x
status=""
for _ in $(seq 100); do
  if ! kill -0 "$app" 2>/dev/null; then
    wait "$app" && status=0 || status=$?
    break
  fi
  sleep 0.1
done
app=""
[ -n "$status" ] || fail "File > Exit did not end the program"
[ "$status" -eq 0 ] || fail "the program ended with exit code $status"
echo "e2e: searched for $wanted and exited with 0; screenshots in $artefacts"
