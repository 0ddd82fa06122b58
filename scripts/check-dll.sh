#!/usr/bin/env bash
# Checks a built DLL: PE32 for the i386 target (PE32+ for x86-64 twins) and
# importing system DLLs only, so it loads on a machine without our runtimes.
# usage: check-dll.sh <file.dll> <i386|x86-64>
set -euo pipefail
dll=$1; arch=$2
desc=$(file -b "$dll")
case "$arch" in
  i386)   want="PE32 executable (DLL)*Intel 80386*" ;;
  x86-64) want="PE32+ executable (DLL)*x86-64*" ;;
  *) echo "unknown arch $arch"; exit 2 ;;
esac
# shellcheck disable=SC2053
[[ $desc == $want ]] || { echo "FAIL: $dll is '$desc'"; exit 1; }

allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|olepro32|comctl32|comdlg32|ws2_32|wsock32|mswsock|wininet|winmm|iphlpapi|netapi32|version|msvcrt|rpcrt4|uuid|imm32|uxtheme|msimg32|winspool\.drv|strmiids|quartz|urlmon|crypt32|secur32|bcrypt|dbghelp|psapi|userenv|setupapi|hnetcfg)\.dll$'
bad=0
while read -r name; do
  lower=$(tr 'A-Z' 'a-z' <<<"$name")
  if ! [[ $lower =~ $allowed || $lower == api-ms-win-* ]]; then
    echo "FAIL: $dll imports $name"; bad=1
  fi
done < <(objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p')
[ $bad -eq 0 ] && echo "ok: $dll is '$desc', system imports only"
exit $bad
