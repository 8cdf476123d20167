#!/usr/bin/env bash
# The real program under Xvfb as a desktop starts it: in a folder of history files, with one more file
# on the command line ("Open with"). Ctrl+C in the list puts the selected row on the clipboard; File >
# Export list... (from the keyboard, the file name typed into the save dialog) writes the list, which must
# be byte for byte what qv-dump --csv makes of the same files in the same order (start-up folder first);
# File > Exit ends the program with 0. Screenshots go to the artefact folder.
#
#   e2e_desktop.sh PROGRAM QV-GEN QV-DUMP ARTEFACT-FOLDER
set -euo pipefail

program=$1
gen=$2
dump=$3
artefacts=$4
mkdir -p "$artefacts"
source "$(dirname "$0")/e2e_lib.sh"

# The start-up folder holds numbers 0 to 199; the file of the command line 150 to 349 with other data,
# so that which copy of 150 to 199 is kept shows the order.
mkdir -p "$work/start" "$work/elsewhere" "$work/out"
"$gen" --seed 3 --records 200 --first-id 0 --out "$work/start/a.csv" 2>/dev/null
"$gen" --seed 4 --records 200 --first-id 150 --out "$work/elsewhere/b c.csv" 2>/dev/null
"$dump" --csv "$work/start/a.csv" "$work/elsewhere/b c.csv" >"$work/expected.csv"
first_id=$(sed -n 2p "$work/expected.csv" | cut -d, -f12)

e2e_start_xvfb "$artefacts/xvfb-desktop.log"

(cd "$work/start" && exec "$program" "$work/elsewhere/b c.csv") >"$artefacts/program-desktop.log" 2>&1 &
app=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvex history tool$' | head -n 1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$window"

# The list has the focus: Down and Up select the first row, Ctrl+C copies it.
xdotool key Down Up ctrl+c
row=""
for _ in $(seq 100); do
  row=$(xclip -o -selection clipboard 2>/dev/null || true)
  [ -n "$row" ] && break
  sleep 0.1
done
import -window root "$artefacts/e2e-desktop-started.png"
[ "$(printf '%s' "$row" | awk -F'\t' '{print NF}')" = 9 ] || fail "the clipboard holds: $row"
[ "${row%%$'\t'*}" = "$first_id" ] || fail "the copied row is not the first ($first_id): $row"

# File > Export list..., the name typed into the save dialog.
e2e_key_opens "$window" alt+f
sleep 0.3 # only for the screenshot
import -window root "$artefacts/e2e-desktop-file-menu.png"
xdotool key e
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Export list$' | head -n 1) ||
  fail "the save dialog did not open from Alt+F, E"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 10 "$work/out/list.csv"
import -window root "$artefacts/e2e-desktop-export-dialog.png"
xdotool key Return
for _ in $(seq 100); do [ -s "$work/out/list.csv" ] && break; sleep 0.1; done
[ -s "$work/out/list.csv" ] || fail "the export wrote nothing"
cmp "$work/out/list.csv" "$work/expected.csv" || fail "the export differs from qv-dump --csv"
[ "$(ls -A "$work/out")" = "list.csv" ] || fail "the export left other files: $(ls -A "$work/out")"

e2e_exit_through_file_menu "$window"
echo "e2e: command-line file loaded after the start-up folder, row copied, $(($(wc -l <"$work/out/list.csv") - 1)) records exported"
