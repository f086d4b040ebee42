#!/bin/bash
# Runs atspi_test.py against a copy of the program on a private X server with a private session
# bus (and so a private accessibility bus), and leaves nothing of them running.
# Usage: atspi_test.sh PROGRAM
set -u

program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# pyatspi comes with the system's Python, whichever python3 is first on the PATH.
python=${QUILLMATE_PYTHON:-/usr/bin/python3}

for tool in Xvfb dbus-run-session "$python"; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed"; exit 1; }
done
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
  echo "FAILED: python3-pyatspi is not installed"
  exit 1
fi

work=$(mktemp -d)
xvfb=
session=
finish() {
  local status=$?
  # The session's own group: its bus, the script and the program copy.
  if [ -n "$session" ]; then
    kill -- -"$session" 2>/dev/null
    wait "$session" 2>/dev/null
  fi
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  if [ "$status" -ne 0 ] && [ -s "$work/bus.log" ]; then
    echo "The buses said:"
    cat "$work/bus.log"
  fi
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# -noreset: the server must not reset when the program, its last client, leaves.
setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
  grep -q . "$work/display" 2>/dev/null && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
grep -q . "$work/display" || { echo "FAILED: Xvfb gave no display"; cat "$work/xvfb.log"; exit 1; }

mkdir -m 700 "$work/run" "$work/home"
# Everything the buses and the program keep goes into the work folder.
export DISPLAY=":$(tr -d '\n' <"$work/display")" XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS QT_QPA_PLATFORM

# A process group of its own, so that an interrupted run can end all of it; the session bus
# ends with the script, and the accessibility bus with the session bus. The script reports on
# descriptor 3; what the buses say goes to a log.
setsid dbus-run-session -- "$python" -u "$here/atspi_test.py" "$program" "$work" \
  3>&1 >"$work/bus.log" 2>&1 &
session=$!
wait "$session"
status=$?
session=
exit "$status"
