#!/usr/bin/env bash
# Installs the Debian packages Clipnest needs (only those missing), then
# configures and builds it in ./build. Sourced by run.sh and test.sh:
#   source tools/setup.sh run    what building and running need; builds the
#                                program and the capture tool
#   source tools/setup.sh [test] also the test extras; builds everything
# With --packages-only after the mode it ends once the packages are there,
# before configuring or building (the test of the detection runs it so).
set -euo pipefail

# Building and running Clipnest. One package a line.
run_packages=(
    g++
    cmake
    ninja-build
    qt6-base-dev
    qt6-base-dev-tools
    qt6-webengine-dev
    qt6-webengine-dev-tools
    qt6-pdf-dev
    qt6-declarative-dev
    libqt6sql6-ibase
    firebird3.0-server-core
    firebird3.0-utils
    libfbclient2
    firebird-dev
    libcurl4-openssl-dev
    libgl-dev
    libxapian-dev
    libxml2-dev
    pkg-config
    libqpdf-dev
    libarchive-dev
    zlib1g-dev
    adwaita-icon-theme
    fonts-wqy-microhei
    qt6-image-formats-plugins
    qt6-gtk-platformtheme
    libqt6svg6
    xdg-utils
    qt6-translations-l10n
    libsodium-dev
    qtkeychain-qt6-dev
    libcmark-gfm-dev
    libcmark-gfm-extensions-dev
)

# Only the tests, benchmarks, fuzzing, screenshots and the package check. One a line.
test_packages=(
    qt6-base-private-dev
    xvfb
    xauth
    x11-utils
    xdotool
    firefox-esr
    imagemagick
    python3
    clang
    poppler-utils
    desktop-file-utils
    appstream
    dpkg-dev
    file
    lintian
    apache2
)

mode=${1:-test}
packages_only=${2:-}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
packages=("${run_packages[@]}")
if [[ $mode != run ]]; then
    packages+=("${test_packages[@]}")
fi

# One query for all of them: starting again must stay quick. dpkg-query exits 1
# when any of them is not installed, which is just what is being asked.
installed=$( { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null || true; } | awk '$1 == "ii" { print $2 }')
missing=()
for package in "${packages[@]}"; do
    if ! grep -qx -- "$package" <<< "$installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then
        sudo="sudo"
        if ! command -v sudo > /dev/null; then
            echo "Installing ${missing[*]} needs root: run this as root, or install sudo first (README)." >&2
            exit 1
        fi
    fi
    echo "Installing ${missing[*]}"
    $sudo apt-get update
    # Through env: sudo drops the caller's environment, and without this a
    # package's configuration questions would wait for an answer.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    # What these commands installed, so that it can be removed again (README).
    printf '%s\n' "${missing[@]}" >> "$root/.installed-packages"
fi
if [[ $packages_only == --packages-only ]]; then
    return 0 2> /dev/null || exit 0
fi

# Qt WebEngine refuses its sandbox when running as root.
if [[ $(id -u) -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

build=$root/build
# An older build folder made with Makefiles is rebuilt with Ninja: it holds
# nothing but build output.
if [[ -f $build/CMakeCache.txt ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
    echo "Replacing the Makefile build folder $build with a Ninja one"
    rm -rf "$build"
fi
if [[ $mode == run ]]; then
    # Configured once; Ninja itself reruns CMake when a CMakeLists.txt changes.
    if [[ ! -f $build/CMakeCache.txt ]]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPNEST_BUILD_TESTS=OFF > /dev/null
    fi
    cmake --build "$build" -j"$(nproc)" --target clipnest clipnest-capture
else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPNEST_BUILD_TESTS=ON > /dev/null
    cmake --build "$build" -j"$(nproc)"
fi
