#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing. Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  build-essential
  cmake
  pkg-config
  googletest
  libgtest-dev
  libbenchmark-dev
  nlohmann-json3-dev
  zlib1g-dev
  libcurl4-openssl-dev
  libcpp-httplib-dev
  libsqlite3-dev
  libpq-dev
  libssl-dev
  postgresql
  nginx-light
  openssl
  clang
  libclang-rt-14-dev
  desktop-file-utils
  appstream
  dpkg-dev
  man-db
  qt6-base-dev
  qt6-multimedia-dev
  qt6-qpa-plugins
  pulseaudio
  pulseaudio-utils
  fonts-liberation2
  fontconfig
  qt6-translations-l10n
  xvfb
  openbox
  xdotool
  wmctrl
  x11-utils
  qt6-wayland
  sway
  wtype
  grim
  lintian
  emscripten
  nodejs
  chromium
  curl
  bzip2
  python3
)

# One query for all of them: every package dpkg knows of, with its state.
declare -A installed=()
while read -r name state; do
  [ "$state" = "installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]+set}" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# PostgreSQL and nginx are for the tests, which start private ones on
# loopback: their system services are not started by the installation
# (invoke-rc.d asks policy-rc.d; 101 means "not now").
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  $sudo sh -c "printf '#!/bin/sh\nexit 101\n' >$policy && chmod 755 $policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
