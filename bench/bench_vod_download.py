#!/usr/bin/env python3
"""One engine downloads an FLV from the scripted seed, under Wine on this
machine: time from Start to the first body byte at an HTTP client, download
rate against the seed's pacing rate, bytes on the wire per byte delivered,
and CPU seconds per MB of the engine's process and of the wineserver.

usage: bench_vod_download.py [--build BUILD_DIR] [--prefix PREFIX] [--seconds S]
                             [--rate KBIT] [--loss PERCENT] [--bitrate KBIT]

BUILD_DIR is a cross build (default: the i686 build/win32 wherever the
kernel runs 32-bit code, else build/win64; see benchbuild.py) with
tests/tools/voddriver and vodseed. The FLV (S seconds, video at --bitrate)
is made with ffmpeg; the NAT server and the tracker run inside this script.
The client is curl, started the moment the driver reports its first
connection (before that the loopback server ends a read at once).
Prints a table; asserts nothing.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "vod"))
import vod_processes as vp  # noqa: E402
from benchbuild import Build, add_arguments  # noqa: E402
from proc_stats import cpu_seconds, find_pids  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--rate", type=int, default=8000)
    parser.add_argument("--loss", type=int, default=0)
    parser.add_argument("--bitrate", type=int, default=1000)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe(), flush=True)
    prefix = build.prefix
    vp.EMULATOR = build.wine()
    vp.DRIVER = build.tool("tests", "tools", "voddriver.exe")
    vp.SEED = build.tool("tests", "tools", "vodseed.exe")

    scratch = tempfile.mkdtemp(prefix="vod-bench-")
    flv = os.path.join(scratch, "clip.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size=640x480:rate=25:duration={args.seconds}",
                    "-c:v", "flv1", "-b:v", f"{args.bitrate}k", "-f", "flv", flv], check=True)
    data = open(flv, "rb").read()
    blocks = (len(data) + vp.BLOCK - 1) // vp.BLOCK

    class Bench(vp.VodEndToEnd):
        def runTest(self):
            pass

    Bench.flv, Bench.data = flv, data
    Bench.hash = __import__("hashlib").md5(data).hexdigest()
    Bench.blocks = blocks
    case = Bench()
    case.setUp()
    try:
        case.know_file()
        seed = case.start_seed("--rate", str(args.rate), "--loss", str(args.loss))
        servers = find_pids("wineserver", prefix)
        server_cpu = sum(cpu_seconds(p) for p in servers)
        started = time.monotonic()
        driver = case.start_driver("--size", str(len(data)))
        # Before a peer is connected a read ends at once with nothing.
        driver.expect("CONNECTED", accept=lambda l: l == "CONNECTED 1")
        # Until a connection is up the loopback server ends a read at once.
        seed.expect("HELLO", accept=lambda l: l.endswith("ACCEPTED"))
        connected = time.monotonic() - started
        curl = subprocess.Popen(["curl", "-s", "-N", "--max-time", "600", driver.url], stdout=subprocess.PIPE)
        first = curl.stdout.read(1)
        first_byte = time.monotonic() - started
        body = first + curl.stdout.read()
        finished = time.monotonic() - started
        curl.wait()
        line = driver.expect("STATS", 600, accept=lambda l: int(l.split()[2]) >= blocks)
        wire = int(line.split()[6])
        engines = [p for p in find_pids("voddriver.exe", prefix) if p not in servers]
        engine_cpu = sum(cpu_seconds(p) for p in engines)
        server_cpu = sum(cpu_seconds(p) for p in servers) - server_cpu
    finally:
        case.tearDown()
    mb = len(data) / 1e6
    print(f"file                       {len(data)} bytes, {blocks} blocks, {args.seconds} s at "
          f"{args.bitrate} kbit/s; seed paced at {args.rate} kbit/s, {args.loss} % loss")
    print(f"identical                  {body == data}")
    print(f"Start to first connection  {connected * 1000:.0f} ms (from the process start)")
    print(f"Start to first body byte   {first_byte * 1000:.0f} ms (from the process start)")
    print(f"Start to last body byte    {finished:.2f} s")
    rate = len(data) * 8 / 1000 / max(finished - first_byte, 1e-6)
    # Each piece carries 768 bytes of the file but is paced as 800.
    ceiling = args.rate * 768 / 800
    print(f"rate after the first byte  {rate:.0f} kbit/s = {rate / args.rate * 100:.0f} % of the pacing, "
          f"{rate / ceiling * 100:.0f} % of the ceiling {ceiling:.0f} kbit/s")
    print(f"datagram bytes received    {wire} = {wire / len(data):.3f} per byte delivered")
    print(f"CPU per MB                 engine process {engine_cpu / mb:.2f} s, wineserver "
          f"{server_cpu / mb:.2f} s")


if __name__ == "__main__":
    main()
