# shellcheck shell=bash
# Sourced by the install checks: the layout passed from CMake, and the files
# an install must hold, each under the given prefix.
app_id=$1 bindir=$2 gamesdir=$3 libexecdir=$4 datadir=$5 mandir=$6 docdir=$7 libdir=$8
shift 8

for dir in "$bindir" "$gamesdir" "$libexecdir" "$datadir" "$mandir" "$docdir" "$libdir"; do
  case $dir in
  /*) echo "install folders must be relative to the prefix here, not $dir" >&2; exit 1 ;;
  esac
done

icon_sizes="16 32 48 64 128 256"

installed_files() {
  local prefix=$1 size
  printf '%s\n' \
    "$prefix/$gamesdir/vantorix2" \
    "$prefix/$bindir/vantorix2-sim" \
    "$prefix/$bindir/vantorix2-records" \
    "$prefix/$libexecdir/vantorix2/vantorix2-menu" \
    "$prefix/$libdir/vantorix2/vantorix2-sound.so" \
    "$prefix/$datadir/applications/$app_id.desktop" \
    "$prefix/$datadir/metainfo/$app_id.metainfo.xml" \
    "$prefix/$mandir/man6/vantorix2.6.gz" \
    "$prefix/$mandir/man1/vantorix2-sim.1.gz" \
    "$prefix/$mandir/man8/vantorix2-records.8.gz" \
    "$prefix/$docdir/copyright" \
    "$prefix/$docdir/changelog.gz" \
    "$prefix/$docdir/examples/vantorix2-records.nginx"
  for size in $icon_sizes; do
    echo "$prefix/$datadir/icons/hicolor/${size}x$size/apps/$app_id.png"
  done
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Stops here unless every COMMAND:PACKAGE given is installed.
need() {
  local tool
  for tool in "$@"; do
    command -v "${tool%%:*}" >/dev/null || fail "${tool%%:*} is missing (Debian package ${tool#*:})"
  done
  [ "$failures" -eq 0 ] || finish
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
