#!/usr/bin/env bash
# Installs what building and running under Wine needs, on a Debian machine. Safe to run again.
set -euo pipefail

# nlohmann-json3-dev: the run record; chromium, node and npm: the run page test in a real browser
# (with a small CJK font, so that captions in the sample picture show as characters).
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb x11-utils x11-xserver-utils
  nlohmann-json3-dev chromium fonts-wqy-microhei)
# The second compiler for the same target, a build guard only.
packages+=(clang lld llvm)
# Signed test copies of the fixture, a test root and a catalog for the signature tests.
packages+=(openssl osslsigncode python3)
# Xorg with the dummy driver: the three-monitor test desktop.
packages+=(xserver-xorg-core xserver-xorg-video-dummy)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
# Any node with npm will do (another source's nodejs brings its own npm).
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser driver for the run page test, pinned by the committed package-lock.json. It drives
# the distribution's chromium and never downloads a browser of its own.
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
installed="$ROOT/tests/browser/node_modules/.package-lock.json"
if [ ! -f "$installed" ] || [ "$ROOT/tests/browser/package-lock.json" -nt "$installed" ]; then
  (cd "$ROOT/tests/browser" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
fi
