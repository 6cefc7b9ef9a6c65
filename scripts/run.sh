#!/usr/bin/env bash
# Runs Morvane for real: a desktop (your X display if there is one, otherwise Xvfb at 1920x1080)
# with a Wine virtual desktop, sample windows from two processes, then Morvane.exe. Prints where
# the output directory is and what it holds.
#   --monitors 3: on three monitors instead (Xorg's dummy driver, scripts/three-monitors.conf: a
#   primary 1920x1080, a 1280x1024 left of it, a 1600x900 above it), with sample windows on each,
#   one across two monitors and one where no monitor is.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
monitors=1
if [ "${1:-}" = "--monitors" ]; then monitors="${2:-}"; fi
if [ "$monitors" != 1 ] && [ "$monitors" != 3 ]; then echo "usage: $0 [--monitors 3]" >&2; exit 2; fi

bash scripts/setup-packages.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Morvane DesktopFixture >/dev/null
BIN="$ROOT/build/mingw/bin"

if [ "$monitors" = 3 ]; then
  # No virtual desktop: it would be one window on one monitor.
  export WINEPREFIX="${WINEPREFIX:-$ROOT/build/demo-prefix-monitors}"
  export MORVANE_MONITORS=3
else
  export WINEPREFIX="${WINEPREFIX:-$ROOT/build/demo-prefix}"
  export MORVANE_VIRTUAL_DESKTOP=1920x1080
fi
source scripts/wine-session.sh
WORK="$(mktemp -d)"
FIXTURE_PIDS=()
cleanup() {
  for fd in 7 8; do eval "exec $fd>&-" 2>/dev/null || true; done
  for pid in "${FIXTURE_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  wine_session_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
person=""
if [ "$monitors" = 1 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then person=yes; fi
wine_session_start "$person"

# The fixture's line protocol: texts travel as "=" and the text with "\" as "\\" and blanks as "\s".
text() { local value="${1//\\/\\\\}"; printf '=%s' "${value// /\\s}"; }

start_fixture() { # fd
  mkfifo "$WORK/in$1"
  wine "$BIN/DesktopFixture.exe" <"$WORK/in$1" >"$WORK/out$1" 2>/dev/null &
  FIXTURE_PIDS+=($!)
  eval "exec $1>\"$WORK/in$1\""
}

open_window() { # fd verb left top right bottom style exstyle colour class caption
  local fd=$1 before
  before=$(grep -c -E '^(window|error)' "$WORK/out$fd" || true)
  echo "$2 $3 $4 $5 $6 $7 $8 $9 $(text "${10}") $(text "${11}")" >&"$fd"
  for _ in $(seq 1 100); do
    [ "$(grep -c -E '^(window|error)' "$WORK/out$fd" || true)" -gt "$before" ] && break
    sleep 0.1
  done
  echo "  ${11}: $(grep -E '^(window|error)' "$WORK/out$fd" | tail -n1)"
}

echo "opening sample windows in two processes"
start_fixture 7
start_fixture 8
# An application window, a small pop-up dialog, a hidden window, a tool window at the right edge.
open_window 7 open 160 120 1060 760 14CF0000 0 F0F0F0 SampleEditor "Report.txt - Sample Editor"
open_window 7 open 300 300 700 500 80000000 0 102030 SampleHidden "Hidden helper window"
open_window 8 open 1500 780 1860 980 94C80000 00000009 FFD040 SamplePopup "Special offer! Click now"
open_window 8 open 1700 80 1900 400 90000000 00000080 3070C0 SampleToolbar "Tool palette"
if [ "$monitors" = 3 ]; then
  # Left of the primary, above it, across the two lower ones, and where no monitor is.
  open_window 7 open -1100 100 -500 500 14CF0000 0 D04040 SampleLeft "Chat - left monitor"
  open_window 7 open 300 -700 1100 -200 14CF0000 0 40A060 SampleAbove "Mail - upper monitor"
  open_window 8 open -300 700 500 1000 94C80000 00000009 E07020 SampleAcross "Across two monitors"
  open_window 8 open -900 -700 -400 -300 94C80000 0 808080 SampleNowhere "Where no monitor is"
fi

echo "running Morvane.exe"
wine "$BIN/Morvane.exe" &
morvane=$!
if [ -z "$person" ]; then
  echo "no person at this display: the completion message is confirmed for you. It said:"
  wine "$BIN/DesktopFixture.exe" --confirm-box Morvane 120 | sed 's/^/  /'
else
  echo "press OK in the Morvane message box when you have read it"
fi
wait "$morvane"
echo "quit" >&7
echo "quit" >&8

output_root="$BIN/Morvane/Output"
latest="$output_root/$(ls -t "$output_root" | head -n1)"
echo
echo "output directory: $latest"
(cd "$latest" && find . -type f -printf '  %-110p %8s bytes\n' | sort)
first_record="$(find "$latest/WindowShot" -name Morvane.Info.txt | sort | head -n1)"
if [ -n "$first_record" ]; then
  echo
  echo "one text record ($first_record):"
  tr -d '\r' <"$first_record" | sed 's/^/  /'
fi
echo
echo "open this first, in any browser: $latest/Morvane.Run.html"
