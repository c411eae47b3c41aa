#!/usr/bin/env bash
# Installs the Debian 12 packages Cubemill needs to build, test and run its sample job.
# Run as root (or through sudo). Safe to run again: apt-get skips what is installed.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  googletest libgtest-dev libgmock-dev
  qt6-base-dev
  unixodbc unixodbc-dev odbcinst libsqliteodbc
  libsqlite3-dev sqlite3
)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
