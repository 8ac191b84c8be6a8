#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and says nothing when all
# of it is already there. Called by every Makefile target before it builds.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev googletest
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  wine wine32:i386 wine64 xvfb xauth
  wimtools 7zip python3-pefile
  imagemagick
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev
)
# `setup.sh bench`: also the pictures the compression benchmark is made of (photographs from
# four wallpaper collections, other wallpapers, and the screenshots and a plot that valgrind's
# and nodejs' documentation carry).
if [ "${1:-}" = bench ]; then
  packages+=(mate-backgrounds gnome-backgrounds lomiri-wallpapers-16.04 lomiri-wallpapers-20.04
             plasma-workspace-wallpapers valgrind nodejs)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Wine's 32-bit half needs the i386 architecture before apt can even name wine32.
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
[ $need_i386 -eq 0 ] || $sudo dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >&2
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
