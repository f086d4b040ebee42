#!/usr/bin/env bash
# What Quillmate costs while it waits, each beside a floor measured in the same run, on a private
# Xvfb with an XEmbed tray (trayer):
#   hidden on "Never"          against bare_qt showing a tray icon and sleeping;
#   hidden at "One Minute"     (three ticked stores of 100 records) against a cron-style shell
#                              rotation: shuf three times and an atomic mv, once a minute.
# Start-up is bench/startup_cost.py's, which needs no tray.
# CPU is the kernel's count of nanoseconds on a CPU, wake-ups its count of context switches,
# all threads together. Watching starts 40 s after the start, past the one-off timers that
# Qt itself runs in the first half minute.
# Usage: bench/idle_cost.sh [build dir] [seconds to watch the waiting programs]
#        (defaults: build, 180; use whole minutes)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
seconds=${2:-180}
work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
  grep -q . "$work/display" 2>/dev/null && break
  sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"
# No session bus: Qt docks its icon in trayer's XEmbed tray, the floor's as well.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
trayer --edge top --align right --widthtype pixel --width 100 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Nanoseconds process $1 has spent on a CPU.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'; }
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { s += $2 } END { print s + 0 }'; }
peak_kib() { awk '/^VmHWM:/ { print $2 }' /proc/"$1"/status; }
ms() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1e6 }'; }
hourly() { awk -v ns="$1" -v s="$seconds" 'BEGIN { printf "%.1f", ns / 1e6 * 3600 / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# A copy of the program in a folder of its own, with these settings lines.
copy() {
  local dir=$work/$1
  shift
  mkdir -p "$dir/sig"
  cp "$build/quillmate" "$build/quillmate_window.so" "$dir/"
  { printf '[Settings]\r\n'; printf '%s\r\n' "$@" "SigLocation=$dir/sig"; } >"$dir/zq.ini"
}
records() { for n in $(seq 100); do printf "%-$2s" "$1 $n"; done; }

copy never Interval=6 Start_Min=1 Write_Type=Text
copy minute Interval=0 Start_Min=1 "Write_Type=Text & HTML" HeadRandom=1 SigRandom=1 FootRandom=1
records Header 100 >"$work/minute/Head.qmd"
records Signature 255 >"$work/minute/Sig.qmd"
records Footer 100 >"$work/minute/Foot.qmd"

# The shell rotation: one line of each list, joined, written beside and renamed.
for list in Header Signature Footer; do seq -f "$list %g" 100 >"$work/$list.txt"; done
cat >"$work/rotate.sh" <<EOF
h=\$(shuf -n 1 "$work/Header.txt")
s=\$(shuf -n 1 "$work/Signature.txt")
f=\$(shuf -n 1 "$work/Footer.txt")
printf '\r\n%s\r\n%s\r\n%s\r\n' "\$h" "\$s" "\$f" >"$work/ZQ.txt.new" && mv "$work/ZQ.txt.new" "$work/ZQ.txt"
EOF

"$work/never/quillmate" & never=$!
pids+=("$never")
"$work/minute/quillmate" & minute=$!
pids+=("$minute")
"$build/bench/bare_qt" tray & tray=$!
pids+=("$tray")
sleep 40
never0=$(cpu_ns "$never") minute0=$(cpu_ns "$minute") tray0=$(cpu_ns "$tray")
neverw0=$(wakeups "$never") trayw0=$(wakeups "$tray")
echo "watching for $seconds s ..." >&2
# Meanwhile the rotation, as cron runs it (sh -c), twenty times: CPU of the shell and its children.
rotations=20
rotation_s=$( (
  TIMEFORMAT='%U %S'
  time (for _ in $(seq "$rotations"); do sh -c "sh $work/rotate.sh"; done)
) 2>&1 | awk '{ print $1 + $2 }')
sleep "$seconds"
never_ns=$(($(cpu_ns "$never") - never0))
never_wakeups=$(($(wakeups "$never") - neverw0)) tray_wakeups=$(($(wakeups "$tray") - trayw0))
minute_ns=$(($(cpu_ns "$minute") - minute0))
tray_ns=$(($(cpu_ns "$tray") - tray0))
written=$([ -s "$work/minute/sig/ZQ.txt" ] && echo yes || echo no)
rotation_hour_ns=$(awk -v s="$rotation_s" -v n="$rotations" 'BEGIN { printf "%d", s / n * 60 * 1e9 }')

cat <<EOF
| what | Quillmate | floor | ratio |
|---|---|---|---|
| hidden on "Never", CPU per hour | $(hourly "$never_ns") ms | $(hourly "$tray_ns") ms (bare Qt, tray icon) | $(ratio "$never_ns" "$tray_ns") |
| hidden on "Never", wake-ups while watched | $never_wakeups | $tray_wakeups (bare Qt, tray icon) | $(ratio "$never_wakeups" "$tray_wakeups") |
| hidden at "One Minute", CPU per hour | $(hourly "$minute_ns") ms | $(ms "$rotation_hour_ns") ms (shell rotation) | $(ratio "$(hourly "$minute_ns")" "$(ms "$rotation_hour_ns")") |
EOF
echo "(watched $seconds s; the One Minute copy wrote its signature file: $written)" >&2
