#!/usr/bin/env bash
# Pictures of the control bar for a person to look at, as PNG files: each
# layout mode stopped and playing, the full-screen bar, both skins item by
# item. Runs the build's skinshots.exe under Xvfb with Wine's x11 driver, in
# a prefix of its own (the test prefix keeps the null driver).
#
# usage: scripts/screenshots.sh [OUTDIR]   (default build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRA_BUILD:-$root/build/win32}
out=$(realpath -m "${1:-$root/build/screenshots}")
prefix=$root/build/shots-prefix
mkdir -p "$out"
[ -x "$build/tests/tools/skinshots.exe" ] || ninja -C "$build" skinshots >/dev/null

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml,hnetcfg="
# Inside the virtual display: the prefix on first use, then the pictures.
if [ "${TOVRA_SHOTS_INNER:-}" = 1 ]; then
  if [ ! -f "$prefix/.shots-ready" ]; then
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
    touch "$prefix/.shots-ready"
  fi
  wine "$build/tests/tools/skinshots.exe" "$(winepath -w "$out")" </dev/null >/dev/null 2>&1
  wineserver -k || true
  exit 0
fi
# xvfb-run's shell drops exported functions: it runs this script again.
TOVRA_SHOTS_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$out"

# BMP to PNG with the standard library only.
python3 - "$out" <<'PY'
import struct, sys, zlib
from pathlib import Path
for bmp in sorted(Path(sys.argv[1]).glob("*.bmp")):
    data = bmp.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    w, h = struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        src = h - 1 - y if h > 0 else y
        line = data[offset + src * stride: offset + src * stride + w * 3]
        rows.append(b"\0" + bytes(b for i in range(0, len(line), 3)
                                  for b in (line[i + 2], line[i + 1], line[i])))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, abs(h), 8, 2, 0, 0, 0)) \
        + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b"")
    bmp.with_suffix(".png").write_bytes(png)
    bmp.unlink()
    print(bmp.with_suffix(".png"))
PY
