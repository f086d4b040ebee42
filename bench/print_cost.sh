#!/usr/bin/env bash
# What one `quillmate --print` costs beside the shell pipeline its users write today (each store
# folded into lines, shuf -n1 per list, joined, through iconv to UTF-8), on three ticked stores of
# 100 and of 32,767 records. CPU is user + system time of all processes of a call, summed over
# rounds of calls that take turns, so that both meet the same machine.
# Usage: bench/print_cost.sh [build dir] [calls per round] [rounds]   (defaults: build, 20, 10)
set -euo pipefail
build=$(cd "${1:-build}" && pwd) calls=${2:-20} rounds=${3:-10}
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
cp "$build/quillmate" "$build/quillmate_window.so" "$work/"
printf '[Settings]\r\nHeadRandom=1\r\nSigRandom=1\r\nFootRandom=1\r\n' >"$work/zq.ini"
pipeline='for f in Head:100 Sig:255 Foot:100; do fold -b -w "${f#*:}" "${f%:*}.qmd" | shuf -n1
done | iconv -f WINDOWS-1252 -t UTF-8'
export LC_ALL=C.UTF-8 TIMEFORMAT='%3U %3S'
cpu() {  # the CPU seconds of $calls runs of the command
  { time (for _ in $(seq "$calls"); do "$@" >/dev/null; done); } 2>&1 | awk '{ print $1 + $2 }'
}
cd "$work"
for records in 100 32767; do
  for store in Head:100 Sig:255 Foot:100; do
    awk -v n="$records" -v w="${store#*:}" -v t="${store%:*}" \
      'BEGIN { for (i = 1; i <= n; i++) printf "%-" w "s", t " " i ", Zo\353" }' >"${store%:*}.qmd"
  done
  ours=0 theirs=0
  for _ in $(seq "$rounds"); do
    ours="$ours + $(cpu ./quillmate --print)" theirs="$theirs + $(cpu sh -c "$pipeline")"
  done
  awk -v n="$records" -v calls=$((calls * rounds)) "BEGIN { a = $ours; b = $theirs
    printf \"%5d records: --print %.2f ms, pipeline %.2f ms a call; ratio %.2f\\n\", \
      n, 1000 * a / calls, 1000 * b / calls, a / b }"
done
