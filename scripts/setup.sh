#!/usr/bin/env bash
# One-time (idempotent) machine set-up: installs every package the native
# and win32 builds and their tests need, fetches the minizip sources for the
# MinGW build, then configures and builds both trees.
#   scripts/setup.sh            install + build
#   scripts/setup.sh --no-build install only
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# 32-bit Wine needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# Source entries (for the minizip sources) beside the binary ones.
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types:.*deb-src' "$src"; then
  $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
fi
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
   && ! grep -q '^deb-src ' /etc/apt/sources.list; then
  grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
fi

pkgs=(
  build-essential cmake ninja-build pkg-config dpkg-dev xz-utils git
  libgtest-dev libgmock-dev zlib1g-dev libminizip-dev libxml2-dev liblnk-dev libbfio-dev libhivex-dev libregf-utils
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 wine32:i386 xvfb xauth imagemagick
  libcpp-httplib-dev chromium libcurl4-openssl-dev libssl-dev nsis
  fonts-liberation2 fonts-wqy-microhei
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# minizip C sources for the MinGW build (never committed).
deps="$here/.deps"
if [ ! -f "$deps/minizip/zip.c" ]; then
  mkdir -p "$deps/dl"
  (cd "$deps/dl" && { ls minizip_*.orig.tar.* >/dev/null 2>&1 || { $SUDO apt-get update -q; apt-get source --download-only minizip; }; })
  rm -rf "$deps/minizip.tmp" && mkdir -p "$deps/minizip.tmp"
  tar -xf "$(ls "$deps"/dl/minizip_*.orig.tar.* | head -n1)" -C "$deps/minizip.tmp"
  srcdir=$(dirname "$(find "$deps/minizip.tmp" -name zip.c | head -n1)")
  rm -rf "$deps/minizip" && mv "$srcdir" "$deps/minizip" && rm -rf "$deps/minizip.tmp"
fi

# puppeteer-core for the browser test of `hivesweep gui` (drives Debian's
# chromium; no browser is downloaded).
# Node.js from Debian unless one is installed already.
if ! command -v npm >/dev/null 2>&1; then
  $SUDO apt-get install -y -q --no-install-recommends nodejs npm
fi
if [ ! -d "$here/tests/browser/node_modules/puppeteer-core" ]; then
  (cd "$here/tests/browser" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

if [ "${1:-}" != "--no-build" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
fi
