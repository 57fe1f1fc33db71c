#!/bin/bash
# Installs every Debian package that building and testing Kivrel needs.
# Safe to run again: it does nothing when all packages are present.
set -euo pipefail

packages=(
  cmake g++ make ninja-build googletest libgtest-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64
  wine wine64 fonts-wine xvfb x11-apps imagemagick xauth xdotool
  python3 python3-pefile pev libexpat1-dev
  clang clang-format-14 libclang-rt-14-dev llvm
  hyperfine time
  dpkg-dev man-db groff-base unzip
)
i386_packages=(libwine:i386)

missing=()
for p in "${packages[@]}" "${i386_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
