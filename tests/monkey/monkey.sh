#!/usr/bin/env bash
# The monkey: the real program (built with AddressSanitizer and UndefinedBehaviorSanitizer) under Xvfb,
# started in a folder of generated history files and one bad file, gets random input chosen from a seed
# (menus, dialogs answered at random, searches for odd texts, imports and exports of odd file names in the
# work folder, reports zoomed and resized, header clicks, key floods in the list, window resizes; see
# monkey.py), then every other window is closed with Escape and File > Exit must end it with exit code 0.
# It fails on a sanitizer report, a crash, a main window that gives no answer to _NET_WM_PING within 5 s,
# or another exit code. A failed run keeps its seed, its actions (one a line), the program's output and
# a screenshot in the artefact folder, and says where.
#
#   monkey.sh PROGRAM QV-GEN QV-XWIN ARTEFACT-FOLDER
#
#   QV_MONKEY_SECONDS=N    how long the actions go on (60 by default)
#   QV_MONKEY_SEED=N       the seed (a new one each run by default; always printed first)
#   QV_MONKEY_REPLAY=FILE  the actions of FILE (a saved run), all of them, instead of a seed's
set -euo pipefail

program=$(realpath "$1")
gen=$(realpath "$2")
xwin=$(realpath "$3")
artefacts=$4
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artefacts"
artefacts=$(cd "$artefacts" && pwd)

seconds=${QV_MONKEY_SECONDS:-60}
replay=${QV_MONKEY_REPLAY:-}
if [ -n "$replay" ]; then
  [ -r "$replay" ] || { echo "monkey: cannot read $replay" >&2; exit 2; }
  replay=$(cd "$(dirname "$replay")" && pwd)/$(basename "$replay")
  seed=$(sed -n '1s/^# seed \([0-9][0-9]*\)$/\1/p' "$replay")
  seed=${seed:-replay}
  echo "monkey: replaying $replay (seed $seed)"
else
  seed=${QV_MONKEY_SEED:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
  case $seed in '' | *[!0-9]*) echo "monkey: QV_MONKEY_SEED must be a number" >&2; exit 2 ;; esac
  echo "monkey: seed $seed, ${seconds} s (QV_MONKEY_SEED=$seed replays it)"
fi

# shellcheck source-path=SCRIPTDIR source=../e2e/e2e_lib.sh
source "$here/../e2e/e2e_lib.sh"

# The program's surroundings: sanitizers that stop at the first report (as scripts/test sets them, when
# not set), a home and run-time folder of its own in the build folder, a browser that opens nothing.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/../lsan.supp:print_suppressions=0}
session=$artefacts/session
rm -rf "$session"
mkdir -p "$session/home/.config" "$session/home/.local/share" "$session/home/.cache" "$session/runtime" \
  "$session/bin"
chmod 700 "$session/runtime"
export HOME=$session/home XDG_CONFIG_HOME=$session/home/.config XDG_DATA_HOME=$session/home/.local/share
export XDG_CACHE_HOME=$session/home/.cache XDG_RUNTIME_DIR=$session/runtime
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 TZ=UTC
printf '#!/bin/sh\necho "$@" >>"%s/xdg-open.log"\n' "$session" >"$session/bin/xdg-open"
chmod +x "$session/bin/xdg-open"
export PATH=$session/bin:$PATH BROWSER=$session/bin/xdg-open

actions=$artefacts/monkey-run.actions
log=$artefacts/monkey-run.log
trace=$artefacts/monkey-run.trace
sanitizer_report() {
  grep -E -m 1 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: [A-Za-z]*Sanitizer|UndefinedBehaviorSanitizer' \
    "$log" 2>/dev/null
}
work_listing() {
  echo "# the work folder at the end:"
  ls -la "$work" 2>/dev/null | sed 's/^/# /' || true
}
# Every failure keeps what replays it. (e2e_lib.sh's own calls come here too.)
fail() {
  local kept=$artefacts/monkey-$seed
  trap - ERR
  if [ -n "$xvfb" ] && command -v import >/dev/null; then
    import -window root "$kept.png" 2>/dev/null || true
  fi
  if [ -n "$app" ] && kill -0 "$app" 2>/dev/null; then
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  fi
  app=""
  cp "$actions" "$kept.actions" 2>/dev/null || true
  cp "$log" "$kept.log" 2>/dev/null || true
  cp "$trace" "$kept.trace" 2>/dev/null || true
  work_listing >>"$kept.trace"
  echo "monkey: FAILED: $*" >&2
  if [ -s "$kept.log" ]; then
    echo "---- the program's output (last 60 lines)" >&2
    tail -n 60 "$kept.log" >&2
    echo "----" >&2
  fi
  echo "monkey: seed $seed; actions in $kept.actions, output in $kept.log, screenshot $kept.png" >&2
  echo "monkey: the actions with the time and the window they went to: $kept.trace" >&2
  echo "monkey: replay with QV_MONKEY_REPLAY=$kept.actions (or QV_MONKEY_SEED=$seed)" >&2
  exit 1
}

python3 "$here/monkey.py" prepare --gen "$gen" --work "$work"
# Starts Xvfb and the program, and sets window to the main window. The main window is the wide one;
# the box of the bad file's problems comes first (the main window shows when it is closed): Enter
# closes it.
start_program() {
  e2e_start_xvfb "$session/xvfb-$attempt.log"
  (cd "$work" && exec "$program") >"$log" 2>&1 &
  app=$!
  window=""
  for _ in $(seq 300); do
    for w in $(xdotool search --onlyvisible --pid "$app" --name '^Quorvex history tool$' 2>/dev/null); do
      width=$(xdotool getwindowgeometry --shell "$w" | sed -n 's/^WIDTH=//p')
      if [ "${width:-0}" -ge 700 ]; then
        window=$w
      else
        xdotool windowfocus --sync "$w" key Return 2>/dev/null || true
      fi
    done
    [ -n "$window" ] && return 0
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
  done
}
# A display that took no connection is the machine's trouble, not the program's: a new server, up to
# three times.
for attempt in 1 2 3; do
  start_program
  [ -n "$window" ] && break
  kill -0 "$app" 2>/dev/null && break
  grep -q 'could not connect to display' "$log" || break
  wait "$app" 2>/dev/null || true
  app=""
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  xvfb=""
  echo "monkey: the program could not connect to $DISPLAY (attempt $attempt); starting a new X server"
done
[ -n "$window" ] || fail "the main window did not appear"

run_args=(--xwin "$xwin" --work "$work" --pid "$app" --main "$window" --log "$actions" --trace "$trace")
if [ -n "$replay" ]; then
  run_args+=(--replay "$replay")
else
  run_args+=(--seed "$seed" --seconds "$seconds")
fi
status=0
python3 "$here/monkey.py" run "${run_args[@]}" || status=$?

if [ "$status" -eq 11 ] || ! kill -0 "$app" 2>/dev/null; then
  ended=0
  wait "$app" || ended=$?
  app=""
  report=$(sanitizer_report || true)
  [ -n "$report" ] && fail "sanitizer report: $report"
  [ "$ended" -gt 128 ] && fail "the program was killed by signal $((ended - 128)) during the run"
  fail "the program ended during the run with exit code $ended"
fi
[ "$status" -eq 10 ] && fail "the main window gave no answer to _NET_WM_PING within 5 s (frozen)"
[ "$status" -eq 0 ] || fail "the monkey could not go on (status $status)"

e2e_exit_through_file_menu "$window"
report=$(sanitizer_report || true)
[ -z "$report" ] || fail "sanitizer report: $report"
mv "$actions" "$artefacts/monkey-last.actions"
mv "$trace" "$artefacts/monkey-last.trace"
work_listing >>"$artefacts/monkey-last.trace"
rm -f "$log"
echo "monkey: seed $seed passed: no sanitizer report, always answered, exit code 0 after File > Exit"
