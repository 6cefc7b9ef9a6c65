#!/usr/bin/env bash
# Builds the benchmark and runs it once under Wine on a private 1920x1080 Xvfb display.
# Usage: bench/run-bench.sh [--watch | --long-watch [N]]   (MORVANE_BUILD_DIR and WINEPREFIX may be set as for
# scripts/test.sh)
# MORVANE_BENCH_BASELINE names the commit whose Morvane.exe is measured beside this one (default:
# 6cd2eff, the tool before monitor pictures were reused); "none" leaves it out.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD_DIR="${MORVANE_BUILD_DIR:-$ROOT/build/mingw}"
cmake --preset mingw -B "$BUILD_DIR" >/dev/null
cmake --build "$BUILD_DIR" --target MorvaneBench Morvane DesktopFixture

BASELINE_COMMIT="${MORVANE_BENCH_BASELINE:-6cd2eff}"
# The long watch measures this build only.
if [ "${1:-}" = --long-watch ]; then
  BASELINE_COMMIT=none
fi
BASELINE_ARGS=()
if [ "$BASELINE_COMMIT" != none ] && git rev-parse --verify --quiet "$BASELINE_COMMIT^{commit}" >/dev/null; then
  BASELINE_SOURCE="$BUILD_DIR/bench-baseline/source"
  BASELINE_BUILD="$BUILD_DIR/bench-baseline/build"
  if [ "$(cat "$BUILD_DIR/bench-baseline/commit" 2>/dev/null)" != "$(git rev-parse "$BASELINE_COMMIT")" ]; then
    rm -rf "$BUILD_DIR/bench-baseline"
    mkdir -p "$BASELINE_SOURCE"
    git archive "$BASELINE_COMMIT" | tar -x -C "$BASELINE_SOURCE"
    git rev-parse "$BASELINE_COMMIT" >"$BUILD_DIR/bench-baseline/commit"
  fi
  (cd "$BASELINE_SOURCE" && cmake --preset mingw -B "$BASELINE_BUILD" >/dev/null &&
    cmake --build "$BASELINE_BUILD" --target Morvane)
  # Wine's drive Z: is the root of the file system.
  BASELINE_ARGS=(--baseline "Z:${BASELINE_BUILD//\//\\}\\bin\\Morvane.exe")
fi

source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
wine "$BUILD_DIR/bin/MorvaneBench.exe" "${BASELINE_ARGS[@]}" "$@"
