#!/usr/bin/env bash
# Installs the Debian packages Quorlink needs to build, test, package and run, when any is
# missing.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev qt6-serialport-dev libftdi1-2 libftdi1-dev
          libgl-dev xvfb xauth fonts-dejavu-core desktop-file-utils
          dpkg-dev lintian appstream bash-completion poppler-utils direwolf)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
