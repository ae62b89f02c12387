#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need, only those missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins libqt6svg6 libgl-dev
    libxlsxwriter-dev libsqlite3-dev fonts-wqy-zenhei
    qt6-translations-l10n qt6-charts-dev libsodium-dev mdbtools-dev libpq-dev liborcus-dev
    qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
    postgresql postgresql-client-15 sqlite3 unzip poppler-utils zxing-cpp-tools chromium curl
    xvfb xauth imagemagick
    dpkg-dev lintian man-db
)

# One dpkg-query call for all of them keeps the common case (nothing missing) fast.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null \
    | awk '$2 == "installed" { print $1 }' || true)

missing=()
for package in "${packages[@]}"; do
    grep -qxF "$package" <<<"$installed" || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi

echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}"
