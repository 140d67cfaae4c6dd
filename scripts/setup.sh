#!/usr/bin/env bash
# Installs, from Debian's packages only, everything the station needs to build,
# run and be tested. Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format file dpkg-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-odbc libqt6sql6-sqlite libqt6opengl6-dev libxlsxwriter-dev
  unixodbc unixodbc-dev odbc-mariadb
  mariadb-server mariadb-client
  galera-4 haproxy rsync python3
  libcups2-dev cups cups-daemon cups-client
  python3-openpyxl  # the tests read the attendance workbook with a reader of their own
  wamerican wspanish  # word lists: the naming check tells English from Spanish
  xvfb xauth x11-apps x11-utils xdotool imagemagick fontconfig fonts-dejavu-core fonts-liberation
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  if [[ $(id -u) -ne 0 ]]; then sudo=sudo; else sudo=; fi
  # Keep the packaged services from starting: the project runs its own servers.
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
    $sudo chmod +x /usr/sbin/policy-rc.d
    trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
