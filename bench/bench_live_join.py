#!/usr/bin/env python3
"""One engine joins the test source's live channel, under Wine on this
machine: time from Start to the first piece read, how far behind the source
the pieces are read (seconds after their release, and pieces behind the
newest), and CPU seconds per MB of the engine's process and of the wineserver.

usage: bench_live_join.py --build BUILD_DIR [--pieces N] [--bitrate KBIT]
                          [--rate KBIT] [--every MS]

BUILD_DIR is a cross build with tests/tools/livedriver and livesource (win64
with cmake/toolchain-mingw64.cmake, or win32 where 32-bit code runs). The
channel is an ffmpeg FLV cut by tests/tools/livepieces.py; the source
releases one piece every --every ms (default 1000, real time) and serves at
--rate kbit/s; the NAT server and the tracker run inside this script. The
engine reads N pieces (default 40). Prints a table; asserts nothing.
"""
import argparse
import os
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "live"))
import live_processes as lp  # noqa: E402
from line_process import LineProcess  # noqa: E402
from proc_stats import cpu_seconds, find_pids  # noqa: E402

ARRIVALS = {}   # (program, first word, second word) -> monotonic time of the line
LOCK = threading.Lock()


class TimedLineProcess(LineProcess):
    """Notes when each line arrived."""

    def _read(self):
        for line in self.proc.stdout:
            words = line.split()
            with LOCK:
                ARRIVALS.setdefault((id(self), words[0] if words else "", words[1] if len(words) > 1 else ""),
                                    time.monotonic())
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--pieces", type=int, default=40)
    parser.add_argument("--bitrate", type=int, default=300)
    parser.add_argument("--rate", type=int, default=3000)
    parser.add_argument("--every", type=int, default=1000)
    args = parser.parse_args()
    arch = "win64" if "win64" in os.path.basename(os.path.normpath(args.build)) else "win32"
    prefix = os.path.join(args.build, "wineprefix")
    lp.EMULATOR = [os.path.join(ROOT, "scripts", "wine-run.sh"), arch, prefix]
    lp.DRIVER = os.path.join(args.build, "tests", "tools", "livedriver.exe")
    lp.SOURCE = os.path.join(args.build, "tests", "tools", "livesource.exe")
    lp.LineProcess = TimedLineProcess

    scratch = tempfile.mkdtemp(prefix="live-bench-")
    pieces_path = os.path.join(scratch, "channel.lpc")
    info = lp.livepieces.make(pieces_path, lp.FIRST, seconds=args.pieces + 45, bitrate_k=args.bitrate)

    class Bench(lp.LiveChannel):
        def runTest(self):
            pass

    Bench.pieces_path, Bench.info = pieces_path, info
    Bench.md5 = {lp.FIRST + i: m for i, m in enumerate(info["md5"])}
    case = Bench()
    case.setUp()
    try:
        source = case.start_source("--rate", str(args.rate), "--every", str(args.every))
        servers = find_pids("wineserver", prefix)
        server_cpu = sum(cpu_seconds(p) for p in servers)
        started = time.monotonic()
        driver = case.start_driver()
        window = case.read_pieces(driver, args.pieces, 300)
        finished = time.monotonic()
        engines = [p for p in find_pids("livedriver.exe") if p not in servers]
        engine_cpu = sum(cpu_seconds(p) for p in engines)
        server_cpu = sum(cpu_seconds(p) for p in servers) - server_cpu
        lp.drain(source)
    finally:
        case.tearDown()
    with LOCK:
        arrivals = dict(ARRIVALS)
    first_piece = arrivals[(id(driver), "PIECE", str(window))] - started
    behind_s, behind_pieces = [], []
    newest_times = sorted((t, int(k[2])) for k, t in arrivals.items() if k[0] == id(source) and k[1] == "NEWEST")
    for n in range(window, window + args.pieces):
        read_at = arrivals[(id(driver), "PIECE", str(n))]
        released = arrivals.get((id(source), "NEWEST", str(n)))
        if released is not None:
            behind_s.append(read_at - released)
        newest = max([p for t, p in newest_times if t <= read_at] or [0])
        behind_pieces.append(newest - n)
    size = os.path.getsize(pieces_path) / len(info["md5"]) * args.pieces
    mb = size / 1e6
    late = behind_s[-10:] or [0]
    print(f"build                       {args.build} ({arch})")
    print(f"channel                     pieces of ~{size / args.pieces / 1000:.0f} kB ({args.bitrate} kbit/s "
          f"video), one every {args.every} ms; source sends at {args.rate} kbit/s")
    print(f"Start to first piece read   {first_piece * 1000:.0f} ms (from the process start)")
    print(f"{args.pieces} pieces read in          {finished - started:.1f} s")
    print(f"read after release          last 10 pieces: mean {sum(late) / len(late):.2f} s, "
          f"max {max(late):.2f} s")
    print(f"pieces behind the newest    first {behind_pieces[0]}, last {behind_pieces[-1]}")
    print(f"CPU per MB                  engine process {engine_cpu / mb:.2f} s, wineserver "
          f"{server_cpu / mb:.2f} s")


if __name__ == "__main__":
    main()
