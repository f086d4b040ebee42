#!/usr/bin/env bash
# What a desktop sees of installs to scratch prefixes, and bin/ run. usage: install_test.sh CMAKE BUILD SOURCE VERSION
set -uo pipefail; export LC_ALL=C; cmake=$1 build=$2 source=$3 version=$4 id=io.github.quillmate.quillmate failed= pid=
scratch=$(mktemp -d) && trap '[ -n "$pid" ] && kill $pid; rm -rf "$scratch"' EXIT; names() { ls -A "$1" | xargs; }
check() { [ "$2" = "$3" ] || { failed=1; printf 'FAIL: %s\n--- expected\n%s\n--- actual\n%s\n' "$@" >&2; }; }
install_to() { check "cmake --install $*" "" "$("$cmake" --install "$build" "$@" 2>&1 >/dev/null || echo failed)"; }
# Quoted Exec for a space; " ` $ take a backslash, doubled again as entry strings need; % doubled.
prefix="$scratch/a b \$5 \"q\" \`x\` 100%" config=$scratch/config staged=$scratch/stage/usr/local/share/applications/$id.desktop
app=$prefix/opt/quillmate entry=$prefix/share/applications/$id.desktop meta=$prefix/share/metainfo/$id.metainfo.xml
XDG_CONFIG_HOME=$config install_to --prefix "$prefix"
check "the default install leaves the session alone, FAQ.html as in data/" "" \
  "$(names "$scratch" | grep config)$(cmp "$source/data/FAQ.html" "$app/FAQ.html" 2>&1)"
XDG_CONFIG_HOME=$config install_to --prefix "$prefix" --component autostart
DESTDIR=$scratch/stage install_to --prefix /usr/local  # staged for a package: Exec without DESTDIR, plain
check "the autostart entry" "$(cat "$entry"; echo X-GNOME-Autostart-enabled=true)" "$(cat "$config/autostart/$id.desktop")"
check "Exec, staged Exec" "Exec=\"$scratch/a b \\\\\$5 \\\\\"q\\\\\" \\\\\`x\\\\\` 100%%/opt/quillmate/quillmate\"
Exec=/usr/local/opt/quillmate/quillmate" "$(grep -h ^Exec= "$entry" "$staged")"
check "desktop-file-validate" "" "$(desktop-file-validate "$entry" "$config/autostart/$id.desktop" "$staged" 2>&1 || echo rejected)"
check "appstreamcli notes, the metainfo's id and launchable, the icon" "$id $id.desktop svg" "$(appstreamcli validate --no-net \
  --pedantic "$meta" 2>&1 | grep -E '^[EWI]:')$(xmllint --xpath 'concat(/component/id, " ", /component/launchable[@type="desktop-id"])' \
  "$meta") $(xmllint --xpath 'local-name(/*)' "$prefix/share/icons/hicolor/scalable/apps/$id.svg")"
mkdir "$scratch/cwd" && cd "$scratch/cwd" || exit 1  # where no file may be made
ask() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none "$prefix/bin/quillmate" "$1" 2>&1; }
check "--version, --help naming the four options, their statuses" "quillmate $version 0 4 0" \
  "$(ask --version) $? $(ask --help | grep -c -E '^  --(help|version|print|print-html) ') $?"
check "files under the prefix, bin/quillmate" "f opt/quillmate/FAQ.html f opt/quillmate/quillmate f opt/quillmate/quillmate_window.so f share/applications/$id.desktop \
f share/icons/hicolor/scalable/apps/$id.svg f share/metainfo/$id.metainfo.xml l bin/quillmate ../opt/quillmate/quillmate" \
  "$(cd "$prefix" && find . ! -type d -printf '%y %P\n' | sort | xargs) $(readlink "$prefix/bin/quillmate")"
HOME=$scratch/home XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch TMPDIR=$scratch "$prefix/bin/quillmate" >"$scratch/log" 2>&1 &
pid=$! started=".quillmate.lock FAQ.html Foot.qmd Head.qmd Sig.qmd quillmate quillmate_window.so zq.ini" sigs=$scratch/home/.local/share/quillmate
for _ in $(seq 300); do [ "$(names "$app")" = "$started" ] || ! kill -0 $pid 2>/dev/null && break; sleep 0.05; done
check "files in opt/quillmate and in the working directory after a start; the signature folder, named in zq.ini" \
  "$started drwx------ SigLocation=$sigs" "$(names "$app")$(names .) $(stat -c %A "$sigs") $(grep -a SigLocation "$app/zq.ini" | tr -d '\r')"
kill -TERM $pid; wait $pid; status=$? pid=
check "SIGTERM: status 0, the lock gone from opt/quillmate" "0 ${started#.quillmate.lock }" "$status $(names "$app")"
printf 'Zo\353%-252s' '' >"$app/Sig.qmd" && ln -s "$prefix/bin/quillmate" "$scratch/quillmate"
check "--print through a link, with no display: the entries in UTF-8 and in the C locale" "$(printf '\n\nZo\303\253\n\n.\n\n\nZo?\n\n.')" \
  "$(LC_ALL=C.UTF-8 ask --print; echo .; LC_ALL=C ask --print; echo .)"
# mutt composes a message with it; "y" sends the unchanged message to a shell that keeps it.
printf 'set %s\n' "signature=\"$scratch/quillmate --print|\"" "sendmail=\"sh -c cat>$scratch/sent\"" "folder=$scratch" \
  editor=true autoedit edit_headers abort_unmodified=no send_charset=utf-8 copy=no >"$scratch/muttrc"
(while printf y; do sleep 0.2; done) 2>/dev/null | HOME=$scratch TERM=vt100 LC_ALL=C.UTF-8 \
  timeout 20 script -qec "mutt -n -F $scratch/muttrc -s Hi bob@example.com" /dev/null >>"$scratch/log"
check "mutt's message: UTF-8, the signature under its dashes" "charset=utf-8 -- Zo$(printf '\303\253')" \
  "$(grep -o 'charset=utf-8' "$scratch/sent") $(sed -n '/^-- $/,$p' "$scratch/sent" | xargs)"
[ -z "$failed" ] || { cat "$scratch/log" >&2; exit 1; }
