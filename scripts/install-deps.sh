#!/usr/bin/env bash
# Installs what building, testing and running Morvanta needs on Debian 12.
# Run as root (or through sudo). Safe to run again.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E bash "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake pkg-config binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev zlib1g-dev libx11-dev libfreetype-dev libfontconfig-dev
  libcairo2-dev fonts-liberation2
  libsndfile1-dev libportsmf-dev help2man sox libfftw3-dev
  libhwy-dev
  libxtst-dev
  # The window tests run the editor on a private X server and play the user.
  xvfb xauth xdotool
  locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  updated=1
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Ardour's scanner and session tool check the plug-in the way a real host
# does (installed as Debian recommends it).
if [ "${MORVANTA_NO_ARDOUR:-0}" != 1 ] && ! dpkg -s ardour >/dev/null 2>&1; then
  [ "$updated" = 1 ] || apt-get update -qq
  apt-get install -y -qq ardour
fi

# A comma-decimal locale, so the tests can check that text <-> value
# conversions ignore the host's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
