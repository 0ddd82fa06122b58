#!/usr/bin/env python3
"""Marginal cost of video on demand under Wine on this machine: one engine
(tests/tools/voddriver) downloads an FLV from the scripted seed
(tests/tools/vodseed) or, with --seeder service, from the service's seeder
(tests/tools/seedhost over a cache pair of the clip in the prefix's cache
folder), once a clip of one second and once a long clip, each
run repeated; CPU seconds per MB delivered are (CPU of the long run - CPU of
the short run) / (MB of the long - MB of the short), for the engine's
process, the seed's process and the wineserver, so that Wine's start-up is
not counted. Beside them: the download rate against the seed's pacing and
against the ceiling the constants allow.

usage: bench_vod_cpu.py [--build BUILD_DIR] [--prefix PREFIX] [--seconds S]
                        [--repeat N] [--rate KBIT] [--bitrate KBIT]
                        [--seeder seed|service]

BUILD_DIR is a cross build (default: the i686 build/win32 wherever the
kernel runs 32-bit code, else build/win64; see benchbuild.py). Run it inside
scripts/netns-run.sh. Prints a table; asserts nothing.

Ceiling: the seed paces pieces of 768 data bytes as 800 bytes each (the
pacing period is 6,400,000 / rate ms), so at most 768 / 800 = 96 % of the
seed's rate reaches the player as file bytes. The service's seeder paces the
same way at its session's rate, which ramps up from 800 kbit/s every 3 s
(bench/seeder_ramp.py) and is capped here at --rate through its upload
limit (--rate / 8 kB/s): its ceiling is what that ramp promises over the
run, counted from the engine's first connection (its timer starts with the
first request). The seeder's CPU is seedhost's, the whole process.
Do not run it beside the tests: the service's seeder uses the prefix's
cache folder.
"""
import argparse
import hashlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "vod"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
import cachepair  # noqa: E402
import vod_processes as vp  # noqa: E402
from benchbuild import Build, add_arguments  # noqa: E402
from proc_stats import cpu_seconds, find_pids  # noqa: E402
from seeder_ramp import promised  # noqa: E402

PIECE_DATA, PIECE_PACED = 768, 800
HOST = None
CACHE_FOLDER = os.path.join("drive_c", "RODar_Azizo")


def make_clip(folder, seconds, bitrate):
    path = os.path.join(folder, f"clip{seconds}.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size=640x480:rate=25:duration={seconds}",
                    "-c:v", "flv1", "-b:v", f"{bitrate}k", "-f", "flv", path], check=True)
    return path


def write_pair(folder, hash_, data):
    os.makedirs(folder, exist_ok=True)
    block = cachepair.BLOCK_SIZE
    cachepair.write_pair(folder, cachepair.Header(hash_, blocks=cachepair.block_count(len(data))),
                         [(b, data[o:o + block]) for b, o in enumerate(range(0, len(data), block))])


class HostProcess(vp.LineProcess):
    """seedhost --until-eof: ends once its standard input does."""
    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def start_service_seeder(case, rate, prefix):
    """seedhost over a pair of the case's clip, announced to the tracker."""
    folder = os.path.join(prefix, CACHE_FOLDER)
    write_pair(folder, case.hash, case.data)
    host = HostProcess(vp.EMULATOR + [HOST, "--nat", f"127.0.0.1:{case.swarm.nat.port}",
                                       "--no-upnp", "--ports", "20000-40000",
                                       "--limit", str(rate // 8), "--until-eof"])
    case.processes.append(host)
    host.pid = bytes.fromhex(host.expect("LOGGEDIN").split()[2])
    case.swarm.announce_seed(host.pid, case.hash, 5)
    case.addCleanup(lambda: [os.remove(p) for p in cachepair.paths(folder, case.hash)
                             if os.path.exists(p)])
    return host


def one_run(flv, rate, prefix, service):
    """(bytes, seconds from the first body byte to the last, CPU seconds of
    the engine, the seed and the wineserver, ms from the engine's first
    connection to the last body byte) of one download."""
    data = open(flv, "rb").read()

    class Run(vp.VodEndToEnd):
        def runTest(self):
            pass

    Run.flv, Run.data = flv, data
    Run.hash = hashlib.md5(data).hexdigest()
    Run.blocks = (len(data) + vp.BLOCK - 1) // vp.BLOCK
    case = Run()
    case.setUp()
    try:
        case.know_file()
        if service:
            start_service_seeder(case, rate, prefix)
        else:
            seed = case.start_seed("--rate", str(rate))
        servers = find_pids("wineserver", prefix)
        server_before = sum(cpu_seconds(p) for p in servers)
        seeds = [p for p in find_pids("seedhost.exe" if service else "vodseed.exe", prefix)
                 if p not in servers]
        driver = case.start_driver("--size", str(len(data)))
        driver.expect("CONNECTED", accept=lambda l: l == "CONNECTED 1")
        # Until a connection is up the loopback server ends a read at once.
        if service:
            driver.expect("LINKED")
        else:
            seed.expect("HELLO", accept=lambda l: l.endswith("ACCEPTED"))
        linked = time.monotonic()
        curl = subprocess.Popen(["curl", "-s", "-N", "--max-time", "600", driver.url], stdout=subprocess.PIPE)
        body = curl.stdout.read(1)
        first = time.monotonic()
        body += curl.stdout.read()
        last = time.monotonic()
        curl.wait()
        case.wait_complete(driver, 600)
        engines = [p for p in find_pids("voddriver.exe", prefix) if p not in servers]
        cpu = (sum(cpu_seconds(p) for p in engines), sum(cpu_seconds(p) for p in seeds),
               sum(cpu_seconds(p) for p in servers) - server_before)
    finally:
        case.tearDown()
        case.doCleanups()
    if body != data:
        same = next((i for i, (a, b) in enumerate(zip(body, data)) if a != b), min(len(body), len(data)))
        raise SystemExit(f"the bytes read differ from the file: {len(body)} of {len(data)} bytes, "
                         f"the same up to byte {same}")
    return (len(data), last - first) + cpu + (1000 * (last - linked),)


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--seconds", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--rate", type=int, default=8000)
    parser.add_argument("--bitrate", type=int, default=1000)
    parser.add_argument("--seeder", choices=("seed", "service"), default="seed")
    args = parser.parse_args()
    build = Build(args)
    vp.EMULATOR = build.wine()
    vp.DRIVER = build.tool("tests", "tools", "voddriver.exe")
    vp.SEED = build.tool("tests", "tools", "vodseed.exe")
    global HOST
    HOST = build.tool("tests", "tools", "seedhost.exe")
    service = args.seeder == "service"

    with tempfile.TemporaryDirectory(prefix="vod-cpu-") as scratch:
        short = make_clip(scratch, 1, args.bitrate)
        long_ = make_clip(scratch, args.seconds, args.bitrate)
        runs = {"short": [], "long": []}
        for _ in range(args.repeat):
            for name, flv in (("short", short), ("long", long_)):
                runs[name].append(one_run(flv, args.rate, build.prefix, service))
    # Medians of each column, short and long.
    med = {name: [statistics.median(r[i] for r in rs) for i in range(5)] for name, rs in runs.items()}
    mb = (med["long"][0] - med["short"][0]) / 1e6
    rates = [r[0] * 8 / 1000 / max(r[1], 1e-6) for r in runs["long"]]
    if service:
        # The ramp's pieces over the median run, from the first connection,
        # as file bytes per second of the download.
        r = sorted(runs["long"], key=lambda r: r[1])[len(runs["long"]) // 2]
        ceiling = promised(r[5], 0, args.rate // 8) * PIECE_DATA * 8 / 1000 / (r[5] / 1000)
        pacing = f"the service's seeder, its ramp capped at {args.rate} kbit/s"
    else:
        ceiling = args.rate * PIECE_DATA / PIECE_PACED
        pacing = f"seed paced at {args.rate} kbit/s"
    print(f"{build.describe()}; {pacing}; {args.repeat} runs each of a "
          f"{med['short'][0]:.0f}-byte and a {med['long'][0]:.0f}-byte clip")
    print(f"download rate after the first byte: median {statistics.median(rates):.0f} kbit/s "
          f"(runs {', '.join(f'{r:.0f}' for r in rates)}) = {statistics.median(rates) / args.rate:.1%} "
          f"of --rate, {statistics.median(rates) / ceiling:.1%} of the ceiling {ceiling:.0f} kbit/s")
    print(f"{'marginal CPU per MB':24} {'engine':>8} {'seed':>8} {'wineserver':>11}")
    values = [(med["long"][i] - med["short"][i]) / mb for i in (2, 3, 4)]
    print(f"{'median runs':24} {values[0]:8.3f} {values[1]:8.3f} {values[2]:11.3f}")
    for k, (s, l) in enumerate(zip(runs["short"], runs["long"])):
        print(f"{'run ' + str(k + 1):24} " + " ".join(
            f"{(l[i] - s[i]) / ((l[0] - s[0]) / 1e6):{w}.3f}" for i, w in ((2, 8), (3, 8), (4, 11))))
    print(f"short run CPU (start-up, not counted): engine {med['short'][2]:.2f} s, seed "
          f"{med['short'][3]:.2f} s, wineserver {med['short'][4]:.2f} s")


if __name__ == "__main__":
    main()
