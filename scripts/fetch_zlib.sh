#!/usr/bin/env bash
# zlib's source for the web edition, from Debian's archive (the same release
# as the system's zlib), checked against the archive's checksum.
# Usage: fetch_zlib.sh DIR  (the source ends up in DIR/zlib)
set -euo pipefail
dir=$1
name=zlib_1.2.13.dfsg.orig.tar.bz2
sum=71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
if [ -f "$dir/zlib/zlib.h" ]; then
  exit 0
fi
mkdir -p "$dir"
if ! echo "$sum  $dir/$name" | sha256sum -c --status 2>/dev/null; then
  curl -fsS --retry 3 -o "$dir/$name.part" "$mirror/pool/main/z/zlib/$name"
  mv "$dir/$name.part" "$dir/$name"
fi
echo "$sum  $dir/$name" | sha256sum -c --quiet
rm -rf "$dir/zlib" "$dir/zlib.unpack"
mkdir "$dir/zlib.unpack"
tar -xjf "$dir/$name" -C "$dir/zlib.unpack"
mv "$dir/zlib.unpack"/* "$dir/zlib"
rmdir "$dir/zlib.unpack"
