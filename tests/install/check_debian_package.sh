#!/bin/bash
# The Debian package of the build tree: its name and fields, the dependencies
# shlibdeps finds and those it cannot see, the file list under /usr, the
# changelog's version, and lintian's verdict when lintian is installed.
# Usage: check_debian_package.sh CPACK BUILD_DIR APP_ID BINDIR GAMESDIR LIBEXECDIR DATADIR MANDIR DOCDIR LIBDIR VERSION
set -u
cpack=$1 build_dir=$2
shift 2
# shellcheck source=installed_files.sh
. "$(dirname "$0")/installed_files.sh"
version=$1

need dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorix2-package.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

# gzip: the test needs the package's contents, not its smallest size.
if ! "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" \
  -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB"
  finish
fi
architecture=$(dpkg --print-architecture)
deb="$work/out/vantorix2_${version}_$architecture.deb"
if [ ! -f "$deb" ]; then
  fail "no $(basename "$deb"); cpack made: $(cd "$work/out" && ls -- *.deb 2>&1)"
  finish
fi

# ---- fields
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vantorix2 ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[[ $(field Maintainer) == ?*\ \<?*@?*\> ]] || fail "Maintainer is not 'Name <address>': $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "Description has no long text: $(field Description)"

# ---- dependencies: the names alone, each a package this machine has installed
depends=$(field Depends)
names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//; /^$/d')
for needed in qt6-qpa-plugins fonts-liberation2 libqt6widgets6 libqt6gui6 libqt6core6 libqt6multimedia6 \
  libcurl4 libsqlite3-0 libc6 libstdc++6; do
  grep -qx "$needed" <<<"$names" || fail "Depends lacks $needed: $depends"
done
for name in $names; do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
    fail "Depends names $name, which is no installed package here"
done
recommends=$(field Recommends)
[[ $recommends == *"pulseaudio | pipewire-pulse"* ]] || fail "Recommends has no PulseAudio server: $recommends"
[[ $recommends == *xdg-utils* ]] || fail "Recommends has no xdg-open for the records page: $recommends"
[[ $recommends == *qt6-translations-l10n* ]] || fail "Recommends has no Qt translations for Russian dialog buttons: $recommends"

# ---- files: the layout under /usr, root's, programs executable
dpkg-deb --contents "$deb" >"$work/contents"
# Lintian's notes on the package are the package's alone.
{ installed_files ./usr; echo "./usr/$datadir/lintian/overrides/vantorix2"; } | sort >"$work/expected"
awk '$1 ~ /^-/ { print $6 }' "$work/contents" | sort >"$work/found"
diff "$work/expected" "$work/found" >"$work/difference" ||
  fail "package files differ from the layout (< missing, > unexpected):
$(cat "$work/difference")"
awk '$2 != "root/root" { print "FAIL: not root'\''s: " $0; bad = 1 } END { exit bad }' "$work/contents" >&2 ||
  failures=$((failures + 1))
for program in "./usr/$gamesdir/vantorix2" "./usr/$bindir/vantorix2-sim" "./usr/$bindir/vantorix2-records" \
  "./usr/$libexecdir/vantorix2/vantorix2-menu"; do
  grep -qE "^-rwxr-xr-x .* $program\$" "$work/contents" || fail "$program is not installed 0755"
done

# ---- the menu's files name the places the package puts things
dpkg-deb -x "$deb" "$work/root"
grep -qxF "exec '/usr/$gamesdir/vantorix2' \"\$@\"" "$work/root/usr/$libexecdir/vantorix2/vantorix2-menu" ||
  fail "the packaged launcher does not start /usr/$gamesdir/vantorix2"
grep -qxF "Exec=/usr/$libexecdir/vantorix2/vantorix2-menu" "$work/root/usr/$datadir/applications/$app_id.desktop" ||
  fail "the packaged desktop entry does not start /usr/$libexecdir/vantorix2/vantorix2-menu"

# ---- the changelog's latest entry is this version (lintian does not compare them)
latest=$(zcat "$work/root/usr/$docdir/changelog.gz" | head -n 1)
[[ $latest == "vantorix2 ($version) "* ]] || fail "the changelog's latest entry is not $version: $latest"

# ---- lintian: no error, no warning
if command -v lintian >/dev/null; then
  verdict=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $verdict"
else
  echo "lintian is missing (Debian package lintian): the package is not linted"
fi

finish
