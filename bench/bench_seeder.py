#!/usr/bin/env python3
"""One seeder serving requesters, under Wine on this machine: pieces served
per second, CPU of the seeder's process per megabyte, and memory over time.
With --seconds of several minutes it is the soak: requesters on random
blocks, every piece checked, memory printed every --report seconds.

usage: bench_seeder.py [--build BUILD_DIR] [--prefix PREFIX] [--blocks N]
                       [--requesters R] [--seconds S] [--limit KBPS]
                       [--loss PERCENT] [--report S]

BUILD_DIR is a cross build (default: the i686 build/win32 wherever the
kernel runs 32-bit code, else build/win64; see benchbuild.py). The
script writes one cache pair of N whole blocks (the test video of
tests/tools/cachepair.py) into the prefix's cache folder, runs the NAT
server in this process, seedhost (tests/tools) with one seeder, and
seedsoak with R requesters, each asking for random whole blocks one request
at a time. More blocks than the seeder's block cache holds (568) keep the
disk reads and the eviction busy. Prints figures; asserts nothing. Do not
run it beside the tests: they share the prefix's cache folder.

Beside the totals: pieces received per requester against what its session's
own ramp promises (the start rate, raised or lowered by the reported loss
every 3 s, capped by --limit; one piece per 6,400,000 / rate ms), as a ratio
over the run and for each 5 s window; the per-window ratio is the mean of
the requesters'. The promise leaves out the seeder-wide upload budget.
"""
import argparse
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
import cachepair  # noqa: E402
from benchbuild import Build, add_arguments  # noqa: E402
from nat_server import NatServer  # noqa: E402
from registry import PeerRegistry  # noqa: E402
from seeder_ramp import promised  # noqa: E402

HASH = "5e" * 16
SEED = 3
WAIT = 120
WINDOW_MS = 5000


def lines_of(proc, name, out):
    for line in proc.stdout:
        out.put((name, time.monotonic(), line.strip()))
    out.put((name, time.monotonic(), None))


def write_video(folder, blocks):
    os.makedirs(folder, exist_ok=True)
    size = blocks * cachepair.BLOCK_SIZE
    header = cachepair.Header(HASH, blocks=blocks)
    cachepair.write_pair(folder, header,
                         [(b, cachepair.video_bytes(size, b, SEED)) for b in range(blocks)])


def stats_of(line):
    """STATS nat sessions N ended N pieces SENT REFUSED bytes B buffers K memory M cpu C
    threads T"""
    w = line.split()
    return {"sessions": int(w[3]), "ended": int(w[5]), "pieces": int(w[7]),
            "refused": int(w[8]), "bytes": int(w[10]), "buffers": int(w[12]),
            "memory": int(w[14]), "cpu": int(w[16]), "threads": int(w[18])}


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--blocks", type=int, default=800)
    parser.add_argument("--requesters", type=int, default=8)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("--loss", type=int, default=0)
    parser.add_argument("--report", type=int, default=10)
    args = parser.parse_args()

    build = Build(args)
    print(build.describe(), flush=True)
    folder = os.path.join(build.prefix, "drive_c", "RODar_Azizo")
    for name in (HASH, HASH + ".vd2"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    print("writing %d blocks (%.1f MB)" % (args.blocks, args.blocks * cachepair.BLOCK_SIZE / 1e6),
          flush=True)
    write_video(folder, args.blocks)

    nat = NatServer(PeerRegistry())
    nat.start()
    out = queue.Queue()
    host = subprocess.Popen(
        build.wine() + [build.tool("tests", "tools", "seedhost.exe"),
                       "--nat", "127.0.0.1:%d" % nat.port, "--no-upnp", "--ports", "20000-40000",
                       "--limit", str(args.limit), "--stats-ms", str(args.report * 1000),
                       "--until-eof"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    threading.Thread(target=lines_of, args=(host, "host", out), daemon=True).start()
    soak = None
    first = last = None
    total = None
    try:
        seeder = None
        deadline = time.monotonic() + WAIT
        while seeder is None:
            name, _, line = out.get(timeout=max(1, deadline - time.monotonic()))
            if line is None:
                raise SystemExit("seedhost ended")
            print("host:", line, flush=True)
            if line.startswith("LOGGEDIN"):
                seeder = line.split()[2:4]
        soak = subprocess.Popen(
            build.wine() + [build.tool("tests", "tools", "seedsoak.exe"),
                           "--nat", "127.0.0.1:%d" % nat.port, "--seeder", seeder[0], seeder[1],
                           "--hash", HASH, "--blocks", str(args.blocks), "--seed", str(SEED),
                           "--requesters", str(args.requesters), "--seconds", str(args.seconds),
                           "--loss", str(args.loss), "--report-ms", str(WINDOW_MS)],
            stdout=subprocess.PIPE, text=True)
        threading.Thread(target=lines_of, args=(soak, "soak", out), daemon=True).start()
        started = None
        marks = [(0, 0)]
        each = None
        while each is None:
            name, at, line = out.get(timeout=args.seconds + WAIT)
            if line is None:
                if name == "soak":
                    break
                continue
            print("%s: %s" % (name, line), flush=True)
            if name == "soak" and line.startswith("CONNECTED"):
                started = at
            elif name == "soak" and line.startswith("SOAK"):
                marks.append((int(line.split()[1]), int(line.split()[5])))
            elif name == "soak" and line.startswith("TOTAL"):
                total = line.split()
                marks.append((int(total[1]), int(total[5])))
            elif name == "soak" and line.startswith("REQUESTERS"):
                each = [int(w) for w in line.split()[1:]]
            elif name == "host" and line.startswith("STATS") and started is not None:
                stats = stats_of(line)
                first = first or (at, stats)
                last = (at, stats)
    finally:
        if soak:
            soak.wait(timeout=WAIT)
        host.stdin.close()
        host.wait(timeout=WAIT)
        nat.stop()
        for name in (HASH, HASH + ".vd2"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))

    if total:
        ms, requests, pieces, bad, stalls = (int(total[i]) for i in (1, 3, 5, 7, 9))
        print()
        print("requesters %d, %d blocks, %d s, limit %d kB/s" %
              (args.requesters, args.blocks, ms // 1000, args.limit))
        print("requests %d, pieces received %d (%.0f per second, %.2f MB/s), bad %d, stalls %d" %
              (requests, pieces, pieces * 1000.0 / ms, pieces * 768 / 1000.0 / ms, bad, stalls))
    if total and each:
        ms = int(total[1])
        whole = promised(ms, args.loss, args.limit)
        ratios = [n / whole for n in each]
        print("against the ramp's promise of %.0f pieces per session: mean %.1f %%, "
              "lowest %.1f %%, highest %.1f %%" %
              (whole, 100 * sum(ratios) / len(ratios), 100 * min(ratios), 100 * max(ratios)))
        windows = []
        for (a, pa), (b, pb) in zip(marks, marks[1:]):
            due = promised(b, args.loss, args.limit) - promised(a, args.loss, args.limit)
            if b > a and due > 0:
                windows.append((a, b, (pb - pa) / args.requesters / due))
        print("per 5 s window: " + ", ".join("%.0f-%.0f s %.1f %%" % (a / 1000, b / 1000, 100 * r)
                                             for a, b, r in windows))
        if windows:
            print("worst 5 s window: %.1f %%" % (100 * min(r for _, _, r in windows)))
    if first and last and last[0] > first[0]:
        seconds = last[0] - first[0]
        pieces = last[1]["pieces"] - first[1]["pieces"]
        megabytes = (last[1]["bytes"] - first[1]["bytes"]) / 1e6
        cpu = last[1]["cpu"] - first[1]["cpu"]
        print("seeder between reports: %.0f pieces per second, %.2f MB/s, %.0f ms CPU per MB, "
              "memory %.1f MB -> %.1f MB" %
              (pieces / seconds, megabytes / seconds, cpu / megabytes if megabytes else 0,
               first[1]["memory"] / 1e6, last[1]["memory"] / 1e6))


if __name__ == "__main__":
    main()
