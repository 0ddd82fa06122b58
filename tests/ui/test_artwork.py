"""The artwork generator: the same bytes on every run, the skin sets of the
sizes the skins need, and the key colour at (0, 0) of both skin bitmaps."""
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "make_artwork.py"


def draw(folder):
    subprocess.run([sys.executable, str(SCRIPT), str(folder)], check=True)
    return {p.name: p.read_bytes() for p in sorted(Path(folder).iterdir())}


def pixel(bmp, x, y):
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height = struct.unpack_from("<ii", bmp, 18)
    stride = (width * 3 + 3) & ~3
    b, g, r = bmp[offset + (height - 1 - y) * stride + 3 * x: offset + (height - 1 - y) * stride + 3 * x + 3]
    return r, g, b


def main():
    with tempfile.TemporaryDirectory() as one, tempfile.TemporaryDirectory() as two:
        first, second = draw(one), draw(two)
    failures = []
    if first != second:
        failures.append("two runs differ: " + ", ".join(n for n in first if first[n] != second.get(n)))
    expected = {"main.bmp", "chat.bmp", "main.sknset", "chat.sknset", "control.ico", "chat.ico",
                "toolbox.bmp"} | {f"emoticon{i}.gif" for i in range(230, 245)}
    if set(first) != expected:
        failures.append(f"files {sorted(first)}")
    for name, size in (("main.sknset", 2224), ("chat.sknset", 1120)):
        if len(first.get(name, b"")) != size:
            failures.append(f"{name}: {len(first.get(name, b''))} bytes, not {size}")
    for name, (w, h) in (("main.bmp", (270, 304)), ("chat.bmp", (131, 279))):
        bmp = first[name]
        if struct.unpack_from("<iiHH", bmp, 18) != (w, h, 1, 24):
            failures.append(f"{name}: not {w} x {h} at 24 bpp")
        elif pixel(bmp, 0, 0) != (255, 0, 255):
            failures.append(f"{name}: pixel (0, 0) is {pixel(bmp, 0, 0)}")
    for f in failures:
        print("FAILED:", f)
    print("ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
