# Shared by the end-to-end scripts: a work folder removed at the end with the programs started, an
# Xvfb server of the script's own, and File > Exit with a check of the exit code.
# shellcheck shell=bash

work=$(mktemp -d)
xvfb=""
app=""
e2e_cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap e2e_cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }

# Starts Xvfb on a display number that it picks itself, so that scripts running side by side never
# take the same one, and points DISPLAY at it. Its output goes to the file LOG. -noreset: the server
# would otherwise reset when its last client (the check below) goes, and could refuse the program
# started right after it.
e2e_start_xvfb() {
  local log=$1 number=""
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/.display" >"$log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    number=$(head -n 1 "$work/.display" 2>/dev/null || true)
    [ -n "$number" ] && break
    sleep 0.1
  done
  [ -n "$number" ] || fail "Xvfb did not start"
  export DISPLAY=:$number
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "Xvfb did not answer on $DISPLAY"
}

# File > Exit from the keyboard in WINDOW; the program must end with exit code 0.
e2e_exit_through_file_menu() {
  local window=$1 status=""
  e2e_key_opens "$window" alt+f
  xdotool key x
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
}

# The number of the program's windows that are shown (its main window, dialogs and open menus).
e2e_shown_windows() {
  xdotool search --onlyvisible --pid "$app" 2>/dev/null | wc -l
}

# Presses KEYS in WINDOW and waits until the program shows more windows than before (a menu or a
# dialog opened), up to ten seconds.
e2e_key_opens() {
  local window=$1 before
  shift
  before=$(e2e_shown_windows)
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers "$@"
  for _ in $(seq 100); do
    [ "$(e2e_shown_windows)" -gt "$before" ] && return 0
    sleep 0.1
  done
  fail "$* opened nothing"
}
