#!/usr/bin/env python3
"""One engine joins the test source's live channel, under Wine on this
machine: time from Start to the first piece read, how far behind the source
the pieces are read (seconds after their release, and pieces behind the
newest), and CPU seconds per MB of the engine's process and of the wineserver.

usage: bench_live_join.py [--build BUILD_DIR] [--prefix PREFIX] [--pieces N]
                          [--bitrate KBIT] [--rate KBIT] [--every MS]

BUILD_DIR is a cross build with tests/tools/livedriver and livesource
(default build/win32 where this kernel runs 32-bit code, else build/win64;
see benchbuild.py). The channel is an ffmpeg FLV cut by tests/tools/livepieces.py; the source
releases one piece every --every ms (default 1000, real time) and serves at
--rate kbit/s; the NAT server and the tracker run inside this script. The
engine reads N pieces (default 40): the first 20 catch up from the start lag,
the rest show the live delay. Only the engine of this run's prefix is counted.
Prints a table; asserts nothing.
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
sys.path.insert(0, HERE)
from benchbuild import Build, add_arguments  # noqa: E402

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
    add_arguments(parser)
    parser.add_argument("--pieces", type=int, default=40)
    parser.add_argument("--bitrate", type=int, default=300)
    parser.add_argument("--rate", type=int, default=3000)
    parser.add_argument("--every", type=int, default=1000)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe())
    lp.EMULATOR = build.wine()
    lp.DRIVER = build.tool("tests", "tools", "livedriver.exe")
    lp.SOURCE = build.tool("tests", "tools", "livesource.exe")
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
        servers = find_pids("wineserver", build.prefix)
        server_cpu = sum(cpu_seconds(p) for p in servers)
        started = time.monotonic()
        driver = case.start_driver()
        window = case.read_pieces(driver, args.pieces, 300)
        finished = time.monotonic()
        # Only this run's engine: other runs on the machine use other prefixes.
        engines = [p for p in find_pids("livedriver.exe", build.prefix) if p not in servers]
        engine_cpu = sum(cpu_seconds(p) for p in engines)
        server_cpu = sum(cpu_seconds(p) for p in servers) - server_cpu
        lp.drain(source)
    finally:
        case.tearDown()
    with LOCK:
        arrivals = dict(ARRIVALS)
    first_piece = arrivals[(id(driver), "PIECE", str(window))] - started
    behind_s, behind_pieces, caught_up = [], [], []
    newest_times = sorted((t, int(k[2])) for k, t in arrivals.items() if k[0] == id(source) and k[1] == "NEWEST")
    for n in range(window, window + args.pieces):
        read_at = arrivals[(id(driver), "PIECE", str(n))]
        released = arrivals.get((id(source), "NEWEST", str(n)))
        if released is not None:
            behind_s.append(read_at - released)
            # The engine starts LAG pieces behind the newest and reads those
            # as fast as they come; the pieces after them show the live
            # delay once caught up.
            if n >= window + lp.LAG:
                caught_up.append(read_at - released)
        newest = max([p for t, p in newest_times if t <= read_at] or [0])
        behind_pieces.append(newest - n)
    size = os.path.getsize(pieces_path) / len(info["md5"]) * args.pieces
    mb = size / 1e6
    late = behind_s[-10:] or [0]
    after = caught_up or [0]
    print(f"build                       {build.path} ({build.arch})")
    print(f"channel                     pieces of ~{size / args.pieces / 1000:.0f} kB ({args.bitrate} kbit/s "
          f"video), one every {args.every} ms; source sends at {args.rate} kbit/s")
    print(f"Start to first piece read   {first_piece * 1000:.0f} ms (from the process start)")
    print(f"{args.pieces} pieces read in          {finished - started:.1f} s")
    print(f"read after release          last 10 pieces: mean {sum(late) / len(late):.2f} s, "
          f"max {max(late):.2f} s")
    print(f"read after release          after the {lp.LAG}-piece catch-up ({len(caught_up)} pieces): "
          f"mean {sum(after) / len(after):.2f} s, max {max(after):.2f} s")
    print(f"pieces behind the newest    first {behind_pieces[0]}, last {behind_pieces[-1]}")
    print(f"CPU per MB                  engine process {engine_cpu / mb:.2f} s, wineserver "
          f"{server_cpu / mb:.2f} s")


if __name__ == "__main__":
    main()
