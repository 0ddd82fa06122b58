# Sourced: the Wine environment of every test and tool run.
# usage: source wine-env.sh <win32|win64> <prefix>
export WINEARCH=$1
export WINEPREFIX=$(realpath -m "$2")
export WINEDEBUG=${TOVRA_WINEDEBUG:--all}
# No Mono or Gecko prompts; hnetcfg (UPnP) disabled: it would send discovery
# multicast onto the host's network.
# TOVRA_DLLOVERRIDES adds a test's own overrides (e.g. a stand-in beside it).
export WINEDLLOVERRIDES="mscoree,mshtml=;hnetcfg=${TOVRA_DLLOVERRIDES:+;$TOVRA_DLLOVERRIDES}"
# Tests talk to 127.0.0.0/8 only: no proxy may leak into WinInet.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
      HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY
# Programs get no display (the prefix's null driver needs none), except the
# pictures' prefix, whose x11 driver draws on TOVRA_DISPLAY.
if [ -n "${TOVRA_DISPLAY:-}" ]; then export DISPLAY=$TOVRA_DISPLAY; else unset DISPLAY; fi

# Debian's "wine" script prefers the 32-bit loader whenever it is installed,
# even where the kernel cannot run it; call the loader of the prefix's kind.
if [ "$WINEARCH" = win64 ]; then
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
else
  WINE=/usr/lib/wine/wine
fi
WINESERVER=/usr/lib/wine/wineserver

# True when a wineserver serves this prefix. The server works in a folder
# named server-<device>-<inode of the prefix> (under a per-user temporary
# folder whose name varies), so look for a wineserver whose working folder
# carries the prefix's name.
wineserver_running() {
  local st name pid
  st=$(stat -c '%D %i' "$WINEPREFIX" 2>/dev/null) || return 1
  name=$(printf 'server-%x-%x' "0x${st% *}" "${st#* }")
  for pid in $(pgrep -x wineserver64; pgrep -x wineserver32; pgrep -x wineserver); do
    [[ $(readlink "/proc/$pid/cwd" 2>/dev/null) == */"$name" ]] && return 0
  done
  return 1
}
