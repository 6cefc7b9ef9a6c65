#!/usr/bin/env bash
# Runs one Windows test program under Wine on a desktop of its own, with its own X display, Wine
# prefix and wineserver, whatever session the caller runs in; its exit code passes through.
#   own-desktop.sh [--monitors 3] [--dpi 144] --prefix <folder> <program> [arguments...]
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
unset MORVANE_MONITORS MORVANE_DPI
while [ $# -gt 0 ]; do
  case "$1" in
    --monitors) export MORVANE_MONITORS="$2"; shift 2 ;;
    --dpi) export MORVANE_DPI="$2"; shift 2 ;;
    --prefix) export WINEPREFIX="$2"; shift 2 ;;
    *) break ;;
  esac
done
[ -n "${WINEPREFIX:-}" ] || { echo "own-desktop.sh: --prefix is required" >&2; exit 2; }
unset DISPLAY
source "$ROOT/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start || exit 1
"$ROOT/tests/wine-run.sh" "$@"
