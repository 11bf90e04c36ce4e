#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqcustomplot-dev qtmultimedia5-dev
    libqt5multimedia5-plugins qttranslations5-l10n libqt5sql5-sqlite libqt5sql5-psql postgresql gstreamer1.0-plugins-good libqt5svg5-dev zlib1g-dev dpkg-dev file desktop-file-utils appstream lintian ccache libsqlite3-dev sqlite3 libssl-dev libzip-dev xvfb xauth zip unzip clang-format git)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
