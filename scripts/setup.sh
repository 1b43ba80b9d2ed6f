#!/usr/bin/env bash
# Installs every Debian package that tabula's build, tests, benchmarks and
# screenshot script need. Idempotent: does nothing when all are present.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    libisal-dev libssl-dev libxml2-dev
    libarchive-dev liblzma-dev libbz2-dev libzstd-dev libsqlite3-dev
    # tests; the desktop entry's and metainfo's validators; the Debian package
    # (dpkg-shlibdeps and file for its dependencies)
    libgtest-dev desktop-file-utils appstream dpkg-dev file
    # the Logiqx datafiles are checked against their DTD with xmllint
    libxml2-utils
    # benchmarks, and the sanitized build with its fuzz targets (the sanitizer
    # and libFuzzer run times are only recommended by clang)
    libbenchmark-dev clang libclang-rt-dev rhash zip unzip time hyperfine
    # test archives: 7-Zip regenerates tests/data/zip/7zip.zip and the 7z and
    # zip fixtures; bsdtar, zstd and xz check and make the others
    p7zip-full 7zip libarchive-tools zstd xz-utils
    # screenshot: a virtual display, window lookup and capture
    xvfb xauth x11-utils imagemagick fonts-dejavu-core
    # driving the window by keyboard and mouse under Xvfb, with and without a
    # window manager (the desktop test runs openbox)
    xdotool openbox python3
)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
