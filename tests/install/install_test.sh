#!/usr/bin/env bash
# Installs the build into scratch prefixes and checks what a Linux desktop will see: the
# layout, the entries and their Exec lines, the validators' verdicts, and that the program
# started through bin/ keeps its files in opt/quillmate.
# usage: install_test.sh <cmake> <build dir> <source dir>
set -euo pipefail

cmake=$1 build=$2 source=$3
app_id=io.github.quillmate.quillmate
failures=0 checks=0

fail() {
  echo "FAIL: $*" >&2
  checks=$((checks + 1)) failures=$((failures + 1))
}
# check <what> <expected> <actual>
check() {
  if [ "$2" = "$3" ]; then
    checks=$((checks + 1))
  else
    fail "$1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /' >&2 || true
  fi
}

for tool in desktop-file-validate appstreamcli xmllint; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (Debian: desktop-file-utils, appstream, libxml2-utils)" >&2; exit 1; }
done

scratch=$(mktemp -d)
program=
cleanup() {
  if [ -n "$program" ]; then
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
scratch=$(cd -P "$scratch" && pwd)
unset DESTDIR

# run_install <log name> <cmake --install arguments...>; prints the log when it fails.
run_install() {
  local log=$scratch/$1.log
  shift
  if ! "$cmake" --install "$build" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    fail "cmake --install $*"
    return 1
  fi
}

# A space in the prefix makes the entries quote their Exec.
prefix="$scratch/pre fix"
config=$scratch/config
exe=$prefix/opt/quillmate/quillmate
entry=$prefix/share/applications/$app_id.desktop
autostart=$config/autostart/$app_id.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/$app_id.svg
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml

XDG_CONFIG_HOME=$config run_install default --prefix "$prefix"
check "the default install leaves the session alone" "no" "$([ -e "$config" ] && echo yes || echo no)"
XDG_CONFIG_HOME=$config run_install autostart --prefix "$prefix" --component autostart

names() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort; }
listing() { (cd "$1" && find . -mindepth 1 \( -type f -o -type l \) -printf '%y %p\n' | LC_ALL=C sort); }
check "files under the prefix" "f ./opt/quillmate/FAQ.html
f ./opt/quillmate/quillmate
f ./share/applications/$app_id.desktop
f ./share/icons/hicolor/scalable/apps/$app_id.svg
f ./share/metainfo/$app_id.metainfo.xml
l ./bin/quillmate" "$(listing "$prefix")"
check "files under XDG_CONFIG_HOME" "f ./autostart/$app_id.desktop" "$(listing "$config")"

check "the executable can be run" "yes" "$([ -x "$exe" ] && echo yes || echo no)"
cmp -s "$source/data/FAQ.html" "$prefix/opt/quillmate/FAQ.html" || fail "FAQ.html differs from data/FAQ.html"
check "bin/quillmate is a relative link" "../opt/quillmate/quillmate" "$(readlink "$prefix/bin/quillmate" || true)"
check "bin/quillmate leads to the executable" "$exe" "$(readlink -f "$prefix/bin/quillmate" || true)"

# Both entries start the installed executable by its absolute path; the autostart entry is the
# menu entry plus the key that GNOME reads.
check "Exec of the menu entry" "Exec=\"$exe\"" "$(grep '^Exec=' "$entry" || true)"
check "the autostart entry" "$(cat "$entry")
X-GNOME-Autostart-enabled=true" "$(cat "$autostart")"
check "Icon names the installed icon" "Icon=$app_id" "$(grep '^Icon=' "$entry" || true)"

for desktop in "$entry" "$autostart"; do
  verdict=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects $desktop"
  check "desktop-file-validate says nothing about $desktop" "" "$verdict"
done

verdict=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fail "appstreamcli validate rejects the metainfo"
check "appstreamcli notes of kind error, warning or info" "" "$(grep -E '^[EWI]:' <<<"$verdict" || true)"
check "the metainfo's id" "$app_id" "$(xmllint --xpath 'string(/component/id)' "$metainfo")"
check "the metainfo's launchable" "$app_id.desktop" \
  "$(xmllint --xpath 'string(/component/launchable[@type="desktop-id"])' "$metainfo")"

xmllint --noout "$icon" || fail "the icon is not well-formed XML"
check "the icon's root element" "svg http://www.w3.org/2000/svg" \
  "$(xmllint --xpath 'concat(local-name(/*), " ", namespace-uri(/*))' "$icon" 2>/dev/null || true)"

# Exec quoting for the characters a prefix may hold. % is doubled; inside quotes ", `, $ take
# a backslash, which the entry's string escaping doubles.
# shellcheck disable=SC2016  # the $ and ` are meant literally
exec_cases=(
  'plain|%s'
  'with space|"%s"'
  'cost $5|"%s"'
  'say "hi"|"%s"'
  'tick `x`|"%s"'
  '100%|%s'
)
exec_expected=(
  "$scratch/exec/1/plain/opt/quillmate/quillmate"
  "$scratch/exec/2/with space/opt/quillmate/quillmate"
  "$scratch/exec/3/cost \\\\\$5/opt/quillmate/quillmate"
  "$scratch/exec/4/say \\\\\"hi\\\\\"/opt/quillmate/quillmate"
  "$scratch/exec/5/tick \\\\\`x\\\\\`/opt/quillmate/quillmate"
  "$scratch/exec/6/100%%/opt/quillmate/quillmate"
)
for i in "${!exec_cases[@]}"; do
  name=${exec_cases[$i]%|*} form=${exec_cases[$i]#*|}
  odd=$scratch/exec/$((i + 1))/$name
  run_install "exec-$((i + 1))" --prefix "$odd" || continue
  desktop=$odd/share/applications/$app_id.desktop
  # shellcheck disable=SC2059  # the form is the test's own
  check "Exec under a prefix named '$name'" "Exec=$(printf "$form" "${exec_expected[$i]}")" \
    "$(grep '^Exec=' "$desktop" || true)"
  verdict=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects the entry under '$name'"
  check "desktop-file-validate says nothing under '$name'" "" "$verdict"
done

# A staged install for a package: files under DESTDIR, Exec without it.
DESTDIR=$scratch/stage run_install staged --prefix /usr/local
check "Exec of a staged install" "Exec=/usr/local/opt/quillmate/quillmate" \
  "$(grep '^Exec=' "$scratch/stage/usr/local/share/applications/$app_id.desktop" || true)"
check "the staged link" "../opt/quillmate/quillmate" "$(readlink "$scratch/stage/usr/local/bin/quillmate" || true)"

run=$scratch/run runtime=$scratch/runtime temp=$scratch/temp
mkdir -p "$run" "$runtime" "$temp"

# --help and --version answer on standard output at once: no display (an unknown platform would
# stop a window from opening), no file made.
version=$(sed -n 's/^project(Quillmate VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
for option in --help --version; do
  status=0
  answer=$(cd "$run" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none \
    "$prefix/bin/quillmate" "$option" 2>"$scratch/stderr") || status=$?
  check "exit status of $option" "0" "$status"
  check "$option says nothing on standard error" "" "$(cat "$scratch/stderr")"
  case $option in
    --version) check "--version" "quillmate $version" "$answer" ;;
    --help) check "--help names both options" "2" "$(grep -c -E '^  --(help|version) ' <<<"$answer")" ;;
  esac
done
check "files in opt/quillmate after --help and --version" "FAQ.html
quillmate" "$(names "$prefix/opt/quillmate")"

# Started through the link, the program takes opt/quillmate as its application directory and
# creates its settings and record files there at start.
chmod 700 "$runtime"
(cd "$run" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" TMPDIR="$temp" \
  "$prefix/bin/quillmate" >"$scratch/program.log" 2>&1) &
program=$!
expected_files=".quillmate.lock
FAQ.html
Foot.qmd
Head.qmd
Sig.qmd
quillmate
zq.ini"
# Waits for the start to finish; the bound only keeps a hung start from hanging the test.
for _ in $(seq 300); do
  [ "$(names "$prefix/opt/quillmate")" = "$expected_files" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
check "the program is still running" "yes" "$(kill -0 "$program" 2>/dev/null && echo yes || echo no)"
check "files in opt/quillmate after a start" "$expected_files" "$(names "$prefix/opt/quillmate")"
check "files in bin after a start" "quillmate" "$(names "$prefix/bin")"
check "files in the working directory after a start" "" "$(names "$run")"
# Ended as a shutdown ends it, the program leaves its files and takes its instance lock along.
kill -TERM "$program"
status=0
wait "$program" 2>/dev/null || status=$?
check "exit status after SIGTERM" "0" "$status"
program=
check "files in opt/quillmate after the end" "${expected_files#.quillmate.lock
}" "$(names "$prefix/opt/quillmate")"

if [ "$failures" -ne 0 ]; then
  echo "program output:" >&2
  cat "$scratch/program.log" >&2 || true
fi
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
