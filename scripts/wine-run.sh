#!/usr/bin/env bash
# CTest's cross-compiling emulator: runs a Windows program under Wine in the
# build tree's prefix. The first call creates the prefix (serialised with
# flock); every call makes sure one persistent wineserver serves the run, so a
# test process starts in tens of milliseconds. scripts/wine-stop.sh ends it.
#
# usage: wine-run.sh <win32|win64> <prefix> <program.exe> [args...]
set -u
here=$(dirname "$0")
source "$here/wine-env.sh" "$1" "$2"; shift 2

# Wine ends the desktop a second after its last windowed program has gone; a
# program that makes its first window meanwhile gets none, and starting the
# desktop again costs seconds per GUI test. So the first program of a fresh
# wineserver is one that holds a window for the whole run, and tests start
# only once it has one (bounded wait). Without the build's holder, notepad
# stands in, unwaited.
hold_desktop() {
  local holder fifo line=
  holder=$(dirname "$WINEPREFIX")/tests/tools/desktophold.exe
  if [ ! -f "$holder" ]; then
    "$WINE" notepad 9>&- </dev/null >/dev/null 2>&1 &
    return
  fi
  fifo=$WINEPREFIX.holder
  rm -f "$fifo" && mkfifo "$fifo"
  "$WINE" "$holder" 9>&- </dev/null >"$fifo" 2>/dev/null &
  read -r -t 60 line <"$fifo"
  line=${line%$'\r'}   # the holder's stdout is in text mode
  rm -f "$fifo"
  [ "$line" = ready ] || echo "wine-run: the desktop holder did not start (${line:-no answer})" >&2
}

if [ ! -f "$WINEPREFIX/.tovra-ready" ] || ! wineserver_running; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Boot output goes to /dev/null and the lock descriptor is closed in every
  # child: services.exe and friends outlive this script, and an inherited
  # pipe or lock would make CTest (or the next test) wait for ever.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tovra-ready" ]; then
      rm -rf "$WINEPREFIX"
      mkdir -p "$WINEPREFIX"
      "$WINESERVER" -p 9>&- </dev/null >/dev/null 2>&1
      "$WINE" wineboot -i 9>&- </dev/null >/dev/null 2>&1
      # No window can be created without a driver; the null driver needs no X.
      "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f 9>&- </dev/null >/dev/null 2>&1
      # A crash prints a backtrace and ends the process instead of a dialog.
      "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /d 'winedbg --auto %ld %ld' /f 9>&- </dev/null >/dev/null 2>&1
      "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        9>&- </dev/null >/dev/null 2>&1
      touch "$WINEPREFIX/.tovra-ready"
      # Set-up left the desktop closing: start the run on a fresh server.
      "$WINESERVER" -k 9>&- </dev/null >/dev/null 2>&1
      "$WINESERVER" -w 9>&- </dev/null >/dev/null 2>&1
    fi
    if ! wineserver_running; then
      "$WINESERVER" -p 9>&- </dev/null >/dev/null 2>&1
      hold_desktop
    fi
  ) 9>"$WINEPREFIX.lock"
fi

exec "$WINE" "$@"
