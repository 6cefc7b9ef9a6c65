# Sourced by the run and test scripts: a Wine prefix, an X display and one persistent wineserver.
#   wine_session_start [use-user-display]   wine_session_stop
# WINEPREFIX may be set by the caller; otherwise a prefix below build/ is used.
# MORVANE_MONITORS=3: the display is Xorg with three monitors (scripts/three-monitors.conf)
# instead of the one 1920x1080 Xvfb screen. MORVANE_DPI=144: the prefix's displays are scaled
# (LogPixels) from its first start on.

ROOT="${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
MORVANE_XVFB_PID=""

# Starts an X server that picks a free display itself and tells us its number; sets DISPLAY.
start_x_server() { # server arguments...
  local numberFile
  numberFile="$(mktemp)"
  "$@" -displayfd 3 -noreset -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
  MORVANE_XVFB_PID=$!
  local tries=0
  until [ -s "$numberFile" ] && DISPLAY=":$(head -n1 "$numberFile")" xdpyinfo >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 150 ]; then echo "$1 did not answer" >&2; rm -f "$numberFile"; return 1; fi
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$numberFile")"
  rm -f "$numberFile"
}

wine_session_start() {
  local use_user_display="${1:-}"
  if [ "${MORVANE_MONITORS:-1}" = 3 ]; then
    local xorgLog="${WINEPREFIX%/}.xorg.log"
    mkdir -p "$(dirname "$xorgLog")"
    start_x_server Xorg -config "$ROOT/scripts/three-monitors.conf" -novtswitch -logfile "$xorgLog" || return 1
  elif [ -n "$use_user_display" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "using the X display $DISPLAY"
  else
    start_x_server Xvfb -screen 0 1920x1080x24 || return 1
    # A work area that differs from the monitor: a 40-pixel band at the bottom, as a task bar would take.
    xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, 1920, 1040"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # No crash dialog may wait for a person.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    if [ -n "${MORVANE_DPI:-}" ]; then
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$MORVANE_DPI" /f >/dev/null 2>&1
    fi
    wineserver -w
  fi
  if [ -n "${MORVANE_VIRTUAL_DESKTOP:-}" ]; then
    # One Wine virtual desktop of that size for every program: windows get frames there.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$MORVANE_VIRTUAL_DESKTOP" /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  # Start Wine's own service and desktop processes now, detached from our output: a test runner
  # that waits for its children's output to close would otherwise wait for them forever.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$MORVANE_XVFB_PID" ]; then
    kill "$MORVANE_XVFB_PID" >/dev/null 2>&1 || true
    wait "$MORVANE_XVFB_PID" 2>/dev/null || true
    MORVANE_XVFB_PID=""
  fi
}
