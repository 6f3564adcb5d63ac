#!/bin/bash
# The build tree installed into a staging folder: the files at their GNU
# places and nothing else, the desktop entry, metainfo and man pages valid,
# the icons the sizes their folders name, the programs runnable, and the
# menu's launcher starting the game in the player's data folder.
# Usage: check_install_tree.sh CMAKE BUILD_DIR APP_ID BINDIR GAMESDIR LIBEXECDIR DATADIR MANDIR DOCDIR LIBDIR
set -u
cmake=$1 build_dir=$2
shift 2
# shellcheck source=installed_files.sh
. "$(dirname "$0")/installed_files.sh"

need desktop-file-validate:desktop-file-utils appstreamcli:appstream groff:groff-base man:man-db lexgrog:man-db

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorix2-install.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# A blank in the prefix: the desktop entry must quote the launcher's path.
stage="$work/stage dir"

if ! "$cmake" --install "$build_dir" --prefix "$stage" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install into the staging folder"
  finish
fi

# ---- the files, at their places, and nothing else
installed_files "$stage" | sort >"$work/expected"
find "$stage" -type f | sort >"$work/found"
diff "$work/expected" "$work/found" >"$work/difference" ||
  fail "installed files differ from the layout (< missing, > unexpected):
$(cat "$work/difference")"
for program in "$stage/$gamesdir"/vantorix2 "$stage/$bindir"/vantorix2-sim "$stage/$bindir"/vantorix2-records \
  "$stage/$libexecdir/vantorix2/vantorix2-menu"; do
  [ -x "$program" ] || fail "$program is not executable"
done

# ---- the installed programs run
cascade_input="{\"level\": 1, \"score\": 0, \"stack\": [$(printf '".......", %.0s' $(seq 17))\"111....\"]}"
answer=$(printf '%s\n' "$cascade_input" | "$stage/$bindir/vantorix2-sim" cascade 2>&1)
case $answer in
*'"removed":3'*) ;;
*) fail "installed vantorix2-sim cascade answered: $answer" ;;
esac
usage=$("$stage/$bindir/vantorix2-records" --help 2>&1) && [[ $usage == usage:*--listen*--db* ]] ||
  fail "installed vantorix2-records --help printed: $usage"

# ---- desktop entry
desktop="$stage/$datadir/applications/$app_id.desktop"
launcher="$stage/$libexecdir/vantorix2/vantorix2-menu"
# Warnings and hints count too.
if ! output=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$output" ]; then
  fail "desktop-file-validate: $output"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "\"$launcher\"" ] || fail "Exec=$exec_line does not name the installed launcher $launcher"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$stage/$datadir/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not in the hicolor theme"

# ---- metainfo
metainfo="$stage/$datadir/metainfo/$app_id.metainfo.xml"
output=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $output"
grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
  fail "metainfo does not launch $(basename "$desktop")"

# ---- man pages: section matches the folder, render without warnings, whatis can read NAME
for page in "$stage/$mandir"/man*/*; do
  folder_section=${page%/*}
  folder_section=${folder_section##*/man}
  th_section=$(zcat "$page" | sed -n 's/^\.TH [^ ]* \([^ ]*\) .*/\1/p')
  [ "$th_section" = "$folder_section" ] || fail "$page: .TH section $th_section, folder man$folder_section"
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page: groff warns: $warnings"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: man -l warns: $warnings"
  name=$(lexgrog "$page" 2>&1) || fail "$page: no NAME section whatis can read: $name"
  [[ $name == *\"$(basename "$page" ".$folder_section.gz")\ -\ * ]] || fail "$page: NAME reads $name"
done

# ---- icons: PNGs as large as their folders say
for size in $icon_sizes; do
  png="$stage/$datadir/icons/hicolor/${size}x$size/apps/$app_id.png"
  [ -f "$png" ] || continue
  signature=$(od -An -tx1 -N16 "$png" | tr -d ' \n')
  [ "$signature" = 89504e470d0a1a0a0000000d49484452 ] || fail "$png is not a PNG"
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [ "$width x $height" = "$size x $size" ] || fail "$png is $width x $height, not $size x $size"
done

# ---- the launcher, with a stub in place of the game
cat >"$stage/$gamesdir/vantorix2" <<EOF
#!/bin/sh
{ pwd; echo "\$\$"; printf '%s\n' "\$@"; } >"$work/game-ran"
exit 7
EOF
chmod +x "$stage/$gamesdir/vantorix2"

# Runs the launcher from another folder with only the given environment;
# sets status and pid.
launch() {
  rm -f "$work/game-ran"
  mkdir -p "$work/elsewhere"
  (cd "$work/elsewhere" && exec env -i PATH=/usr/bin:/bin "$@" "$launcher" one "two words") 2>"$work/launcher.err" &
  pid=$!
  wait "$pid"
  status=$?
}
# Passes when the game ran in FOLDER with the launcher's arguments, replacing it.
expect_game_in() {
  local folder=$1 how=$2
  [ "$status" -eq 7 ] || fail "$how: launcher exited $status, not the game's 7: $(cat "$work/launcher.err")"
  [ -f "$work/game-ran" ] || { fail "$how: the game did not start"; return; }
  mapfile -t ran <"$work/game-ran"
  [ "${ran[0]}" = "$folder" ] || fail "$how: the game started in ${ran[0]}, not $folder"
  [ "${ran[1]}" = "$pid" ] || fail "$how: the launcher did not exec the game (pid ${ran[1]}, launcher $pid)"
  [ "${#ran[@]}" -eq 4 ] && [ "${ran[2]}" = one ] && [ "${ran[3]}" = "two words" ] ||
    fail "$how: the game's arguments were ${ran[*]:2}"
}

launch HOME="$work/home"
expect_game_in "$work/home/.local/share/vantorix2" "no XDG_DATA_HOME"
for made in "$work/home/.local" "$work/home/.local/share" "$work/home/.local/share/vantorix2"; do
  [ "$(stat -c %a "$made")" = 700 ] || fail "$made was made with mode $(stat -c %a "$made"), not 700"
done

touch "$work/home/.local/share/vantorix2/vantorix2.rez"
launch HOME="$work/home" XDG_DATA_HOME=
expect_game_in "$work/home/.local/share/vantorix2" "empty XDG_DATA_HOME, folder already there"
[ -f "$work/home/.local/share/vantorix2/vantorix2.rez" ] || fail "the records file in the data folder is gone"

launch HOME="$work/home2" XDG_DATA_HOME="$work/xdg data"
expect_game_in "$work/xdg data/vantorix2" "XDG_DATA_HOME set"
[ ! -e "$work/home2" ] || fail "the launcher made $work/home2 though XDG_DATA_HOME was set"

launch HOME="$work/home3" XDG_DATA_HOME=relative/data
expect_game_in "$work/home3/.local/share/vantorix2" "relative XDG_DATA_HOME (ignored, as XDG says)"
[ ! -e "$work/elsewhere/relative" ] || fail "the launcher used a relative XDG_DATA_HOME"

touch "$work/not-a-folder"
launch HOME="$work/home" XDG_DATA_HOME="$work/not-a-folder"
[ "$status" -ne 0 ] && [ "$status" -ne 7 ] || fail "launcher exited $status when the data folder cannot be made"
[ ! -f "$work/game-ran" ] || fail "the game started though its data folder cannot be made"

# ---- DESTDIR: the launcher and the entry name the final places, not the staging ones
if DESTDIR="$work/destdir" "$cmake" --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1; then
  grep -qxF "exec '/usr/$gamesdir/vantorix2' \"\$@\"" "$work/destdir/usr/$libexecdir/vantorix2/vantorix2-menu" ||
    fail "with DESTDIR the launcher does not start /usr/$gamesdir/vantorix2"
  grep -qxF "Exec=/usr/$libexecdir/vantorix2/vantorix2-menu" "$work/destdir/usr/$datadir/applications/$app_id.desktop" ||
    fail "with DESTDIR the desktop entry does not start /usr/$libexecdir/vantorix2/vantorix2-menu"
else
  cat "$work/install.log" >&2
  fail "cmake --install with DESTDIR"
fi

finish
