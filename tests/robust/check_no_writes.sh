#!/usr/bin/env bash
# Runs a program under strace and fails when it opened, created or truncated a file under FOLDER for
# writing, or when it opened no file there at all (then the trace saw nothing worth checking).
#   check_no_writes.sh FOLDER PROGRAM [ARGS...]
set -uo pipefail
folder=$1
shift
if ! strace -f -o /dev/null true >/dev/null 2>&1; then
  echo "strace cannot trace here: skipped"
  exit 77
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# LeakSanitizer cannot run under ptrace: a sanitizer build leaves leak checks to its other tests here.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  strace -f -e trace=open,openat,creat,truncate,ftruncate -o "$log" "$@"
status=$?
if [ $status -ne 0 ]; then
  echo "the program failed ($status)"
  exit 1
fi
mine=$(grep -F "\"$folder/" "$log" | grep -E '\.csv"' || true)
if [ -z "$mine" ]; then
  echo "no history file under $folder was opened: nothing was checked"
  exit 1
fi
# A test program may write the files itself before it starts reading them: the opens of any ".csv"
# file (by absolute or relative name) count from the first read-only open of one under FOLDER on.
after=$(grep -E '\.csv"' "$log" | awk -v f="\"$folder/" 'index($0, f) && /O_RDONLY/ {seen=1} seen')
bad=$(printf '%s\n' "$after" | grep -E 'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|creat\(|truncate\(' || true)
if [ -n "$bad" ]; then
  echo "history files opened for writing:"
  printf '%s\n' "$bad"
  exit 1
fi
echo "$(printf '%s\n' "$after" | wc -l) opens of history files, none for writing"
