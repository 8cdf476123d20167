#!/usr/bin/env bash
# The real program under Xvfb: its command line and the export's save dialog, from the keyboard.
#   - A wrong option (--bogus) is one line of error and exit status 2, without a display and with one.
#   - Started in a folder of history files with Qt's -style Fusion and a file whose name is not valid
#     UTF-8 (caf\351.csv): no word about an unknown option, and both files are loaded (the export is
#     byte for byte what qv-dump --csv makes of them).
#   - File > Export list... proposes history-YYYY-MM-DD.csv (today) in the folder of the last import,
#     the command line's file; Return writes it there.
#   - A loaded history file and a named pipe typed as the name are refused in a box while the dialog
#     stays open; both stay as they were. A name of 255 bytes is written.
#   - File > Exit ends the program with 0. Screenshots go to the artefact folder.
#
#   e2e_export_and_command_line.sh PROGRAM QV-GEN QV-DUMP ARTEFACT-FOLDER
set -euo pipefail

program=$1
gen=$2
dump=$3
artefacts=$4
mkdir -p "$artefacts"
source "$(dirname "$0")/e2e_lib.sh"

# One line of error and exit status 2 for ARGS, with whatever display the environment has.
check_wrong_option() {
  local where=$1 status=0
  shift
  "$program" "$@" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  [ "$status" -eq 2 ] || fail "$where: $* ended with $status: $(head -c 300 "$work/err.txt")"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "$where: $* said: $(cat "$work/err.txt")"
  grep -q 'unknown option: --bogus' "$work/err.txt" || fail "$where: $* said: $(cat "$work/err.txt")"
  [ ! -s "$work/out.txt" ] || fail "$where: $* wrote to standard output"
}
(unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM && check_wrong_option "without a display" --bogus)

mkdir -p "$work/start" "$work/elsewhere"
"$gen" --seed 3 --records 120 --first-id 0 --out "$work/start/a.csv" 2>/dev/null
cafe=$work/elsewhere/$(printf 'caf\351.csv')
"$gen" --seed 4 --records 80 --first-id 500 --out "$cafe" 2>/dev/null
"$dump" --csv "$work/start/a.csv" "$cafe" >"$work/expected.csv"
cp "$work/start/a.csv" "$work/a-before.csv"
mkfifo "$work/elsewhere/pipe.csv"
today=$(date +%F)

e2e_start_xvfb "$artefacts/xvfb-export.log"
check_wrong_option "with a display" --bogus -style Fusion

(cd "$work/start" && exec "$program" -style Fusion "$cafe") >"$artefacts/program-export.log" 2>&1 &
app=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvex history tool$' | head -n 1) ||
  fail "the main window did not appear"

# Waits until the program shows N windows, up to ten seconds.
wait_windows() {
  for _ in $(seq 100); do
    [ "$(e2e_shown_windows)" -eq "$1" ] && return 0
    sleep 0.1
  done
  fail "the program shows $(e2e_shown_windows) windows, not $1"
}
export_dialog() {
  e2e_key_opens "$window" alt+f
  xdotool key e
  timeout 10 xdotool search --sync --onlyvisible --name '^Export list$' | head -n 1 ||
    fail "the save dialog did not open from Alt+F, E"
}

# The proposed name in the folder of the last import: Return writes it there.
main_only=$(e2e_shown_windows)
dialog=$(export_dialog)
import -window root "$artefacts/e2e-export-proposed.png"
xdotool windowfocus --sync "$dialog" key Return
target=$work/elsewhere/history-$today.csv
for _ in $(seq 100); do [ -s "$target" ] && break; sleep 0.1; done
[ -s "$target" ] || fail "Return in the save dialog wrote no $target: $(ls "$work/elsewhere" "$work/start")"
wait_windows "$main_only"
cmp "$target" "$work/expected.csv" || fail "the export differs from qv-dump --csv of both files"
import -window root "$artefacts/e2e-export-status-bar.png"
grep -q 'unknown option' "$artefacts/program-export.log" && fail "-style Fusion was called an unknown option"

# A loaded file and a pipe are refused while the dialog stays open, then a 255-byte name is written.
dialog=$(export_dialog)
with_dialog=$(e2e_shown_windows)
for refused in "$work/start/a.csv" "$work/elsewhere/pipe.csv"; do
  xdotool windowfocus --sync "$dialog" key ctrl+a
  xdotool type --delay 5 "$refused"
  # The name field's completer may show a list of names beside it, which Return closes too: the refusal
  # is the dialog and one more window.
  xdotool key Return
  wait_windows $((with_dialog + 1))
  import -window root "$artefacts/e2e-export-refused-$(basename "$refused" .csv).png"
  xdotool key Return
  wait_windows "$with_dialog"
done
[ -p "$work/elsewhere/pipe.csv" ] || fail "the pipe was replaced"
cmp "$work/start/a.csv" "$work/a-before.csv" || fail "the loaded file was written over"
long=$(printf 'l%.0s' $(seq 251)).csv
xdotool windowfocus --sync "$dialog" key ctrl+a
xdotool type --delay 2 "$work/elsewhere/$long"
xdotool key Return
for _ in $(seq 100); do [ -s "$work/elsewhere/$long" ] && break; sleep 0.1; done
cmp "$work/elsewhere/$long" "$work/expected.csv" || fail "the 255-byte name was not written"
wait_windows "$main_only"
[ "$(find "$work/elsewhere" -name '.*' | wc -l)" -eq 0 ] || fail "a temporary file was left behind"

e2e_exit_through_file_menu "$window"
echo "e2e: --bogus told once, -style Fusion and a non-UTF-8 name taken, the export proposed today's name, refused a loaded file and a pipe, wrote a 255-byte name"
