#!/usr/bin/env bash
# Pictures of the control at work, as PNG files for a person to look at:
# the build's controlshots.exe puts the control on a page against the
# play_swarm fixture and takes each state from the screen (pre-buffering,
# playing in each layout mode, paused, full screen, stopped, a live channel,
# its programme list, the chat, the dialogs). Runs under Xvfb with Wine's x11
# driver in a prefix of its own (the tests' prefix keeps the null driver),
# inside a private network namespace, bounded by a timeout. The prefix
# resolves the dialog and Chinese faces to WenQuanYi Micro Hei (packages
# fonts-wqy-microhei and fonts-wine, scripts/install.sh), as a Chinese
# desktop resolves them to its own faces.
#
# usage: scripts/screenshots.sh [OUTDIR]   (default build/screenshots)
# TOVRA_BUILD picks the build folder; else build/win32 where this kernel runs
# 32-bit code, build/win64 where it does not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
source "$root/scripts/build.sh"
if [ -n "${TOVRA_BUILD:-}" ]; then
  dir=$(realpath -m "$TOVRA_BUILD")
elif tovra_can_run_win32; then
  dir=$build/win32
else
  dir=$build/win64
fi
arch=$(tovra_winearch "$dir")
out=$(realpath -m "${1:-$build/screenshots}")
prefix=$dir/shots-prefix
run=$root/scripts/wine-run.sh
tools=$dir/tests/tools
bound=${TOVRA_SHOTS_TIMEOUT:-420}

if [ "${TOVRA_SHOTS_INNER:-}" != 1 ]; then
  mkdir -p "$out"
  [ -f "$dir/build.ninja" ] || tovra_configure_cross "$arch"
  cmake --build "$dir" --target controlshots desktophold >/dev/null
  rm -f "$out"/*.bmp
  # xvfb-run's shell drops exported functions: it runs this script again.
  TOVRA_SHOTS_INNER=1 timeout -k 10 "$bound" "$root/scripts/netns-run.sh" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$out" || status=$?
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
  exit "${status:-0}"
fi

# Inside the namespace and the virtual display. The prefix on first use:
# made as the tests make theirs, then given the X11 driver and the faces.
if [ ! -f "$prefix/.shots-ready" ]; then
  reg=$(mktemp --suffix=.reg)
  python3 - "$reg" <<'PY'
import sys
faces = ["MS Shell Dlg", "MS Shell Dlg 2", "SimSun", "宋体"]
face = "WenQuanYi Micro Hei"
lines = ["Windows Registry Editor Version 5.00", "",
         r"[HKEY_CURRENT_USER\Software\Wine\Drivers]", '"Graphics"="x11"', ""]
for key in (r"HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements",
            r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"):
    lines += [f"[{key}]"] + [f'"{name}"="{face}"' for name in faces] + [""]
with open(sys.argv[1], "w", encoding="utf-16") as f:
    f.write("\r\n".join(lines) + "\r\n")
PY
  "$run" "$arch" "$prefix" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
  rm -f "$reg"
  "$root/scripts/wine-stop.sh" "$arch" "$prefix"
  touch "$prefix/.shots-ready"
fi
export TOVRA_DISPLAY=$DISPLAY TOVRA_SHOTS_DIR="Z:${out//\//\\}"
# The prefix's server and desktop up before the fixture starts its programs.
"$run" "$arch" "$prefix" reg query 'HKCU\Software\Wine\Drivers' </dev/null >/dev/null 2>&1
status=0
python3 "$root/tests/fixtures/runner.py" \
  --fixture "play_swarm:$run,$arch,$prefix,$tools/vodseed.exe,$tools/livesource.exe" -- \
  "$run" "$arch" "$prefix" "$tools/controlshots.exe" </dev/null || status=$?
"$root/scripts/wine-stop.sh" "$arch" "$prefix"
exit $status
