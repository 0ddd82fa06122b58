#!/usr/bin/env python3
"""The local players under Wine on this machine, through tests/tools/livefeed
(a feeder over a piece file of tests/tools/livepieces.py):

- throughput: every piece released at once and no pacing, one raw client
  reads the whole stream; bytes per second from its first byte to its last,
  per player;
- pacing: the push player with pacing on, pieces released at once; seconds
  of stream the client got per second of real time (1.0 is real time).

usage: bench_live_players.py [--build BUILD_DIR] [--prefix PREFIX] [--seconds S]
                             [--bitrate KBIT]

BUILD_DIR is a cross build with tests/tools/livefeed (default build/win32
where this kernel runs 32-bit code, else build/win64; see benchbuild.py).
Prints a table; asserts nothing.
"""
import argparse
import os
import re
import socket
import struct
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
import livepieces  # noqa: E402
from line_process import LineProcess  # noqa: E402
sys.path.insert(0, HERE)
from benchbuild import Build, add_arguments  # noqa: E402

SWITCH = b"GET /1.wmv HTTP/1.0\r\nPragma: stream-switch-count=1\r\n\r\n"


def read_stream(url, request, until_bytes, wall_limit, skip):
    """(bytes, seconds from the first byte to the last) read by one client."""
    port = int(re.search(r":(\d+)", url.split("//", 1)[1]).group(1))
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    sock.sendall(request)
    sock.settimeout(3)
    got, first, last = 0, None, None
    deadline = time.monotonic() + wall_limit
    try:
        while got < until_bytes and time.monotonic() < deadline:
            chunk = sock.recv(262144)
            if not chunk:
                break
            now = time.monotonic()
            got += len(chunk)
            # The clock starts with the records, after the reply and header.
            if got > skip:
                first = first or now
                last = now
    except socket.timeout:
        pass
    sock.close()
    return got, (last - first) if first and last else 0.0


def run(emulator, feed, path, options, request, until_bytes, wall_limit):
    _f, _h, header, _pieces = livepieces.read(path)
    skip = len(header) + 1024
    p = LineProcess(emulator + [feed, "Z:" + path] + options)
    try:
        url = p.expect("READY").split()[1]
        return read_stream(url, request, until_bytes, wall_limit, skip)
    finally:
        p.stop()


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--bitrate", type=int, default=2000)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe())
    emulator = build.wine()
    feed = build.tool("tests", "tools", "livefeed.exe")
    get = b"GET /1 HTTP/1.1\r\n\r\n"
    print(f"{args.seconds} s of stream at {args.bitrate} kbit/s per player")
    print(f"{'player':8} {'bytes':>10} {'seconds':>8} {'MB/s':>8}")
    with tempfile.TemporaryDirectory() as scratch:
        paths = {}
        for kind in ("flv", "real", "vlch", "wmv2", "mmsp"):
            paths[kind] = os.path.join(scratch, kind + ".lpc")
            livepieces.make_kind(paths[kind], kind, 1000, seconds=args.seconds, bitrate_k=args.bitrate)
            _f, _h, _header, pieces = livepieces.read(paths[kind])
            total = sum(len(p) for p in pieces)
            request = SWITCH if kind in ("wmv2", "mmsp") else get
            got, took = run(emulator, feed, paths[kind], ["--rate", "0", "--no-pacing"], request,
                            total * 9 // 10, 60)
            rate = got / took / 1e6 if took else 0.0
            print(f"{kind:8} {got:>10} {took:>8.2f} {rate:>8.2f}")

        _f, _h, _header, pieces = livepieces.read(paths["wmv2"])
        per_second = sum(len(p) for p in pieces) / len(pieces)
        wall = 8.0
        got, took = run(emulator, feed, paths["wmv2"], ["--rate", "0"], SWITCH, 1 << 40, wall)
        print(f"pacing (wmv2, pacing on, {wall:.0f} s read): {got} bytes in {took:.2f} s = "
              f"{got / per_second / took if took else 0:.3f} stream seconds per second")


if __name__ == "__main__":
    main()
