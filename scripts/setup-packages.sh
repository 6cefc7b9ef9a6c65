#!/usr/bin/env bash
# Installs what building and running under Wine needs, on a Debian machine. Safe to run again.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb x11-utils x11-xserver-utils)
# The second compiler for the same target, a build guard only.
packages+=(clang lld llvm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
