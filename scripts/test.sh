#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a private Xvfb display. Exits non-zero on
# any failure. Usage: scripts/test.sh [ctest arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

bash scripts/setup-packages.sh
# The run page's script is a file of its own: it must at least parse before it is built in.
node --check app/record/page/RunPage.js
# Where ccache is installed, both builds go through it; paths below the checkout count relative to
# it, so another checkout of the same sources finds the objects already made.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
BUILD_DIR="${MORVANE_BUILD_DIR:-$ROOT/build/mingw}"
cmake --preset mingw -B "$BUILD_DIR" "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD_DIR"
# The same tree through clang, warnings as errors: a portability guard, its programs are not run.
CLANG_BUILD_DIR="${MORVANE_CLANG_BUILD_DIR:-$ROOT/build/clang-mingw}"
cmake --preset clang-mingw -B "$CLANG_BUILD_DIR" "${LAUNCHER[@]}" >/dev/null
cmake --build "$CLANG_BUILD_DIR"

source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
ctest --test-dir "$BUILD_DIR" --output-on-failure "$@"
