#!/usr/bin/env bash
# Ends the persistent wineserver of a prefix (and every process in it).
# usage: wine-stop.sh <win32|win64> <prefix>
set -u
[ -d "$2" ] || exit 0
source "$(dirname "$0")/wine-env.sh" "$1" "$2"
"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINESERVER" -w >/dev/null 2>&1 || true
