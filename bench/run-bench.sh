#!/usr/bin/env bash
# Builds the benchmark and runs it once under Wine on a private 1920x1080 Xvfb display.
# Usage: bench/run-bench.sh   (MORVANE_BUILD_DIR and WINEPREFIX may be set as for scripts/test.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD_DIR="${MORVANE_BUILD_DIR:-$ROOT/build/mingw}"
cmake --preset mingw -B "$BUILD_DIR" >/dev/null
cmake --build "$BUILD_DIR" --target MorvaneBench Morvane DesktopFixture

source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
wine "$BUILD_DIR/bin/MorvaneBench.exe"
