#!/usr/bin/env bash
# The real program under Xvfb, as a user drives it: it starts in a folder of history files, a transaction
# ID search is made from the keyboard (Alt+S, the first item, the ID typed, Enter), a month report is
# asked for (first with a To day before the From day, which is refused with a warning), a file with bad
# lines is imported (Ctrl+O), and File > Exit (Alt+F, x) ends it with exit code 0. Every window's title
# as the X server holds it (_NET_WM_NAME, what a window manager shows) must be exactly its caption.
# Screenshots go to the artefact folder.
#
#   e2e_search_and_exit.sh PROGRAM QV-GEN ARTEFACT-FOLDER
set -euo pipefail

program=$1
gen=$2
artefacts=$3
mkdir -p "$artefacts"
source "$(dirname "$0")/e2e_lib.sh"

# The title that the program set on a window for the window manager to show.
net_wm_name() { xprop -id "$1" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }
expect_title() {
  local got
  got=$(net_wm_name "$1")
  [ "$got" = "$2" ] || fail "a window's _NET_WM_NAME is '$got', not '$2'"
}
# The first visible window whose WM_NAME or _NET_WM_NAME matches the pattern and that is not the
# main window, waiting up to ten seconds for it.
wait_window() {
  local id
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      [ "$id" != "${window:-}" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}
wait_gone() {
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# Two overlapping files, so that the start-up merges them.
"$gen" --seed 1 --records 300 --first-id 0 --out "$work/history-a.csv" 2>/dev/null
"$gen" --seed 2 --records 300 --first-id 200 --out "$work/history-b.csv" 2>/dev/null
wanted=$("$gen" --print-id 250)
# Fifteen lines whose gross is not a number, outside the start-up folder, for the import.
mkdir "$work/import"
bad="$work/import/bad-lines.csv"
{
  printf '"Date","Gross","Transaction ID",\r\n'
  for n in $(seq 1 15); do
    for c in $(seq 0 41); do
      case $c in
        0) printf '"1/2/2020",' ;;
        6) printf '"abc",' ;;
        11) printf '"BAD%02d",' "$n" ;;
        *) printf '"",' ;;
      esac
    done
    printf '\r\n'
  done
} >"$bad"

e2e_start_xvfb "$artefacts/xvfb.log"

(cd "$work" && exec "$program") >"$artefacts/program.log" 2>&1 &
app=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvex history tool$' | head -n 1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$window"
expect_title "$window" "Quorvex history tool"
sleep 1 # only so that the screenshot shows the painted window
import -window root "$artefacts/e2e-started.png"

# Search > Transaction ID, from the keyboard.
e2e_key_opens "$window" alt+s
xdotool key Return
box=$(wait_window 'Search') || fail "the search box did not open from Alt+S, Enter"
expect_title "$box" "Search"
xdotool windowfocus --sync "$box"
xdotool type --delay 30 "$wanted"
import -window root "$artefacts/e2e-search-box.png"
xdotool key Return
wait_gone 'Search' || fail "Enter did not close the search box"
kill -0 "$app" 2>/dev/null || fail "the program ended during the search"
sleep 0.5 # only for the screenshot
import -window root "$artefacts/e2e-found.png"

# Report > Quantity per month: To one step before From is refused, then the report window.
e2e_key_opens "$window" alt+r
xdotool key Return
dates=$(wait_window 'Date range') || fail "the date range dialog did not open from Alt+R, Enter"
expect_title "$dates" " Date range"
xdotool windowfocus --sync "$dates"
xdotool key Down Return
warning=$(wait_window 'Warning') || fail "To before From gave no warning"
expect_title "$warning" "Warning"
xdotool windowfocus --sync "$warning"
xdotool key Return
wait_gone 'Warning' || fail "Enter did not close the warning"
xdotool windowfocus --sync "$dates"
xdotool key Up Return
report=$(wait_window 'Report') || fail "the report window did not open"
expect_title "$report" "Report"
sleep 1 # only for the screenshot
import -window root "$artefacts/e2e-report.png"
xdotool windowfocus --sync "$report"
xdotool key Escape
wait_gone 'Report' || fail "Esc did not close the report window"

# File > Import: fifteen bad lines give the load-problem box.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+o
open=$(wait_window 'Import') || fail "Ctrl+O did not open the import dialog"
expect_title "$open" "Import Quorvex history files"
xdotool windowfocus --sync "$open"
xdotool type --delay 10 "$bad"
xdotool key Return
errors=$(wait_window 'Quorvex history tool') || fail "the bad lines gave no error box"
expect_title "$errors" "Quorvex history tool"
sleep 0.5 # only for the screenshot
import -window root "$artefacts/e2e-load-problems.png"
xdotool windowfocus --sync "$errors"
xdotool key Return
for _ in $(seq 50); do
  [ "$(xdotool search --onlyvisible --name '^Quorvex history tool$' | wc -l)" -le 1 ] && break
  sleep 0.1
done
[ "$(xdotool search --onlyvisible --name '^Quorvex history tool$' | wc -l)" -le 1 ] ||
  fail "Enter did not close the error box"

e2e_exit_through_file_menu "$window"
echo "e2e: searched for $wanted and exited with 0; screenshots in $artefacts"
