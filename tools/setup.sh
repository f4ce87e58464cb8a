#!/usr/bin/env bash
# Installs the Debian packages Clipnest needs (only those missing), then
# configures and builds it in ./build. Sourced by run.sh and test.sh.
set -euo pipefail

packages=(
    g++ cmake make
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-webengine-dev qt6-webengine-dev-tools qt6-pdf-dev
    libqt6sql6-ibase firebird3.0-server-core firebird3.0-utils libfbclient2 firebird-dev
    libcurl4-openssl-dev libgl-dev libxapian-dev libxml2-dev pkg-config
    adwaita-icon-theme fonts-wqy-microhei qt6-image-formats-plugins qt6-gtk-platformtheme libqt6svg6 xdg-utils
    xvfb xauth x11-utils xdotool imagemagick python3 clang
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    echo "Installing ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Qt WebEngine refuses its sandbox when running as root.
if [[ $(id -u) -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$root/build" -j2
