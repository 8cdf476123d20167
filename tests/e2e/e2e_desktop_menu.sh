#!/usr/bin/env bash
# The real program as a desktop starts it: the build is installed into a temporary prefix and run by
# the Exec line of the installed desktop entry, its %F expanded as a desktop does (started from the
# menu: no file; "Open with": the path of the file chosen), in a folder that holds a CSV file of
# another program and a history file, as a home folder may.
#   - From the menu: no problem box, the list empty (File > Export list... says there is nothing to
#     export) and showing its hint in the middle, grey, not black like the rows.
#   - "Open with" a history file elsewhere: exactly that file is loaded (the export is byte for byte
#     what qv-dump --csv makes of it alone); a search that matches nothing leaves the list saying so;
#     Search > All shows the rows again; File > Exit ends the program with 0.
# Screenshots of both empty lists go to the artefact folder.
#
#   e2e_desktop_menu.sh BUILD-FOLDER QV-GEN QV-DUMP ARTEFACT-FOLDER
set -euo pipefail

build=$1
gen=$2
dump=$3
artefacts=$4
mkdir -p "$artefacts"
source "$(dirname "$0")/e2e_lib.sh"

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$artefacts/install-menu.log" 2>&1 ||
  fail "cmake --install failed: $(tail -n 3 "$artefacts/install-menu.log")"
entry=$prefix/share/applications/quorvex-history.desktop
[ -f "$entry" ] || fail "no desktop entry installed"
exec_line=$(sed -n 's/^Exec=//p' "$entry" | head -n 1)
[ -n "$exec_line" ] || fail "the desktop entry has no Exec line"
read -r -a exec_words <<<"$exec_line"
# The program of the Exec line is found on the PATH, as a desktop finds it.
export PATH="$prefix/bin:$PATH"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache

# The command a desktop runs for the files chosen: %F and %U become every file (none from the menu),
# %f and %u the first, %% a percent sign.
command_for() {
  run=()
  local word
  for word in "${exec_words[@]}"; do
    case $word in
      %F | %U) run+=("$@") ;;
      %f | %u) [ $# -gt 0 ] && run+=("$1") ;;
      %*) fail "the Exec line holds a field code this test does not expand: $word" ;;
      *) run+=("${word//%%/%}") ;;
    esac
  done
}

# The folder the desktop starts the program in: a shop's CSV file, whose lines would each be a
# problem if it were loaded, and a history file of other transactions.
home=$work/home
mkdir -p "$home" "$work/chosen" "$work/out"
{
  printf '"Date","Time","Zone","Customer","Note","State","Category","Tax","Total","Email","Shop","Order"\r\n'
  printf '"2020-01-03","10:00","UTC","Ann","","open","Books","none","12.50","ann@example.com","web","A-1"\r\n'
  printf '"2020-01-04","11:30","UTC","Bob","","paid","Music","none","8.00","bob@example.com","web","A-2"\r\n'
} >"$home/shop-orders.csv"
"$gen" --seed 3 --records 100 --first-id 0 --out "$home/history.csv" 2>/dev/null
"$gen" --seed 5 --records 40 --first-id 1000 --out "$work/chosen/chosen history.csv" 2>/dev/null
"$dump" --csv "$work/chosen/chosen history.csv" >"$work/expected.csv"

e2e_start_xvfb "$artefacts/xvfb-menu.log"

width_of() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p'; }
# The darkest grey (0 black to 255 white) in the middle of the list area of WINDOW on the screenshot
# SHOT: the band from a fifth to a half of the window's height, the middle three fifths of its
# width, below the tool bar and the list's header and above the detail pane.
list_darkest() {
  local window=$1 shot=$2 X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  convert "$shot" -crop "$((WIDTH * 3 / 5))x$((HEIGHT * 3 / 10))+$((X + WIDTH / 5))+$((Y + HEIGHT / 5))" +repage \
    -colorspace Gray -format '%[fx:int(255*minima+0.5)]' info:
}
# Waits for the main window (the wide one; a narrow window of the same title is a problem box, which
# fails the test) and prints its id.
wait_main_window() {
  local w
  for _ in $(seq 150); do
    kill -0 "$app" 2>/dev/null || fail "the program ended at start-up: $(tail -n 3 "$artefacts"/program-*.log)"
    for w in $(xdotool search --onlyvisible --name '^Quorvex history tool$' 2>/dev/null); do
      [ "$(width_of "$w")" -ge 700 ] || { import -window root "$artefacts/e2e-menu-box.png"; fail "a box came up: see e2e-menu-box.png"; }
      echo "$w"
      return 0
    done
    sleep 0.2
  done
  fail "the main window did not appear"
}
# Takes screenshots into SHOT until the middle of the list shows what TEST accepts of its darkest
# grey, for up to ten seconds; the last darkest grey goes to the variable darkest.
wait_list() {
  local window=$1 shot=$2 test=$3
  for _ in $(seq 50); do
    import -window root "$shot"
    darkest=$(list_darkest "$window" "$shot")
    $test "$darkest" && return 0
    sleep 0.2
  done
  return 1
}
# The hint: drawn (something darker than the white list) but grey, the placeholder colour, not black.
is_hint() { [ "$1" -ge 60 ] && [ "$1" -le 200 ]; }
# Rows: the black text of the records.
is_rows() { [ "$1" -lt 60 ]; }
only_main_window() {
  [ "$(xdotool search --onlyvisible --name '^Quorvex history tool$' | wc -l)" -eq 1 ] ||
    { import -window root "$artefacts/e2e-menu-box.png"; fail "$1: a box came up, see e2e-menu-box.png"; }
}

# From the menu.
command_for
[ "${run[*]}" = "quorvex-history --no-folder" ] || echo "e2e: the menu runs: ${run[*]}"
(cd "$home" && exec "${run[@]}") >"$artefacts/program-menu.log" 2>&1 &
app=$!
window=$(wait_main_window)
wait_list "$window" "$artefacts/e2e-menu-nothing-loaded.png" is_hint ||
  fail "the empty list shows no grey hint in its middle (darkest grey $darkest): see e2e-menu-nothing-loaded.png"
only_main_window "from the menu"
# Nothing to export: the list is empty.
e2e_key_opens "$window" alt+f
xdotool key e
info=$(timeout 10 xdotool search --sync --onlyvisible --name '^Information$' | head -n 1) ||
  fail "File > Export list... did not say that there is nothing to export"
xdotool windowfocus --sync "$info"
xdotool key Return
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Information$' >/dev/null 2>&1 || break; sleep 0.1; done
e2e_exit_through_file_menu "$window"

# "Open with" the history file chosen.
command_for "$work/chosen/chosen history.csv"
(cd "$home" && exec "${run[@]}") >"$artefacts/program-open-with.log" 2>&1 &
app=$!
window=$(wait_main_window)
wait_list "$window" "$artefacts/e2e-open-with.png" is_rows ||
  fail "the list shows no rows (darkest grey $darkest): see e2e-open-with.png"
only_main_window "open with"
e2e_key_opens "$window" alt+f
xdotool key e
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Export list$' | head -n 1) ||
  fail "the save dialog did not open from Alt+F, E"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 10 "$work/out/list.csv"
xdotool key Return
for _ in $(seq 100); do [ -s "$work/out/list.csv" ] && break; sleep 0.1; done
[ -s "$work/out/list.csv" ] || fail "the export wrote nothing"
for _ in $(seq 50); do
  cmp -s "$work/out/list.csv" "$work/expected.csv" && break
  sleep 0.1
done
cmp "$work/out/list.csv" "$work/expected.csv" || fail "the list holds other records than the file chosen"

# Search > Transaction ID for an ID that no record has.
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Export list$' >/dev/null 2>&1 || break; sleep 0.1; done
e2e_key_opens "$window" alt+s
xdotool key Return
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Search$' | head -n 1) ||
  fail "the search box did not open from Alt+S, Enter"
xdotool windowfocus --sync "$box"
xdotool type --delay 20 "NO-SUCH-ID"
xdotool key Return
wait_list "$window" "$artefacts/e2e-menu-no-match.png" is_hint ||
  fail "a search that matched nothing shows no grey text in the list (darkest grey $darkest): see e2e-menu-no-match.png"
only_main_window "after the search"

# Search > All: the rows again.
e2e_key_opens "$window" alt+s
xdotool key Down Down Down Return
wait_list "$window" "$artefacts/e2e-menu-all-again.png" is_rows ||
  fail "Search > All did not show the rows again (darkest grey $darkest)"

e2e_exit_through_file_menu "$window"
echo "e2e: from the menu an empty window with its hint; \"Open with\" loaded only the file chosen ($(($(wc -l <"$work/out/list.csv") - 1)) records)"
