#!/usr/bin/env bash
# The real program under Xvfb, started in a folder that holds besides a good history file a named pipe,
# a link that leads nowhere and a socket, all named *.csv: it must show a window within 5 seconds
# (a pipe opened the ordinary way would block it before any window), list the good file's records after
# the problem box is closed, and end with File > Exit and exit code 0.
#
#   e2e_pipes_and_links.sh PROGRAM QV-GEN ARTEFACT-FOLDER
set -euo pipefail

program=$1
gen=$2
artefacts=$3
mkdir -p "$artefacts"
source "$(dirname "$0")/e2e_lib.sh"

"$gen" --seed 3 --records 50 --out "$work/good.csv" 2>/dev/null
mkfifo "$work/pipe.csv"
ln -s "$work/nowhere" "$work/dangling.csv"
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$work/socket.csv"

e2e_start_xvfb "$artefacts/xvfb-pipes.log"

start=$(date +%s%N)
(cd "$work" && exec "$program") >"$artefacts/program-pipes.log" 2>&1 &
app=$!

# The first window, whichever it is (the problem box or the main window), within 5 seconds.
timeout 5 xdotool search --sync --onlyvisible --name '^Quorvex history tool$' >/dev/null ||
  fail "no window within 5 s of the start"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
sleep 1 # the program must still run a second after its first window; the screenshot shows it
import -window root "$artefacts/e2e-pipes-and-links-start.png"
kill -0 "$app" 2>/dev/null || fail "the program ended at start-up"

# Close the problem box (it names the three files) and reach the main window, the wide one.
width_of() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p'; }
window=""
for _ in $(seq 50); do
  for w in $(xdotool search --onlyvisible --name '^Quorvex history tool$' 2>/dev/null); do
    if [ "$(width_of "$w")" -ge 700 ]; then
      window=$w
    else
      xdotool windowfocus --sync "$w" key Return || true
    fi
  done
  [ -n "$window" ] && [ "$(xdotool search --onlyvisible --name '^Quorvex history tool$' | wc -l)" -eq 1 ] && break
  window=""
  sleep 0.2
done
[ -n "$window" ] || fail "the main window is not there alone"
xdotool windowfocus --sync "$window"
import -window root "$artefacts/e2e-pipes-and-links-main.png"

e2e_exit_through_file_menu "$window"
echo "e2e: first window ${elapsed_ms} ms after the start in a folder with a pipe, a dangling link and a socket"
