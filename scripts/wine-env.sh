# Sourced: the Wine environment of every test and tool run.
# usage: source wine-env.sh <win32|win64> <prefix>
export WINEARCH=$1
export WINEPREFIX=$2
export WINEDEBUG=${TOVRA_WINEDEBUG:--all}
# No Mono or Gecko prompts; hnetcfg (UPnP) disabled: it would send discovery
# multicast onto the host's network.
export WINEDLLOVERRIDES="mscoree,mshtml=;hnetcfg="
# Tests talk to 127.0.0.0/8 only: no proxy may leak into WinInet.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
      HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY
unset DISPLAY

# Debian's "wine" script prefers the 32-bit loader whenever it is installed,
# even where the kernel cannot run it; call the loader of the prefix's kind.
if [ "$WINEARCH" = win64 ]; then
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
else
  WINE=/usr/lib/wine/wine
fi
WINESERVER=/usr/lib/wine/wineserver

# True when a wineserver serves this prefix: it keeps its socket in
# /tmp/.wine-<uid>/server-<dev>-<inode of the prefix>/socket and removes it on exit.
wineserver_running() {
  local st dir
  st=$(stat -c '%D %i' "$WINEPREFIX" 2>/dev/null) || return 1
  dir=$(printf '/tmp/.wine-%d/server-%x-%x' "$(id -u)" "0x${st% *}" "${st#* }")
  [ -S "$dir/socket" ] && fuser -s "$dir/socket" 2>/dev/null
}
