#!/usr/bin/env python3
"""Open to PlayStateChanged 1 through the control on loopback, under Wine on
this machine, split into: connect (Open to the engine's connected notice),
pre-buffer (to the play command that ends it) and player start (to the
state 1 event). A video on demand from tests/tools/vodseed and a live FLV
channel from livesource, both through tests/fixtures/play_swarm.py; each
run is a fresh tests/tools/ctlopen process (a fresh engine).

usage: bench_control_open.py [--build BUILD_DIR] [--prefix PREFIX] [--runs N]
                             [--buffer-seconds S]

Prints a table of the median and the fastest run of each step; asserts
nothing.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
from benchbuild import Build, add_arguments  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--buffer-seconds", type=int, default=2)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe(), flush=True)
    fixture = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tests", "fixtures", "play_swarm.py")] + build.wine() +
        [build.tool("tests", "tools", "vodseed.exe"), build.tool("tests", "tools", "livesource.exe")],
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    try:
        env = json.loads(fixture.stdout.readline())
        nat = f"127.0.0.1:{env['TOVRA_NAT_PORT']}"
        cgi = f"http://127.0.0.1:{env['TOVRA_TRACKER_PORT']}/cgi-bin/vod.fcgi"
        actions = {
            "vod": f"cid={env['TOVRA_SEED_CID']}&hash={env['TOVRA_SEED_HASH']}&mime=flv"
                   f"&size={env['TOVRA_SEED_SIZE']}&bitrate=200000",
            "live": f"type=live&cid={env['TOVRA_LIVE_CID']}",
        }
        print(f"{'road':6} {'step':12} {'median ms':>10} {'fastest ms':>11} {'runs':>5}")
        for road, action in actions.items():
            steps = {"connect": [], "pre-buffer": [], "player": [], "total": []}
            for _ in range(args.runs):
                out = subprocess.run(build.wine() + [build.tool("tests", "tools", "ctlopen.exe"), nat,
                                                     cgi, action, str(args.buffer_seconds)],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                     timeout=120).stdout.split()
                if len(out) != 6:
                    continue
                connect, prebuffer, playing = float(out[1]), float(out[3]), float(out[5])
                if connect >= 0:
                    steps["connect"].append(connect)
                if prebuffer >= 0 and connect >= 0:
                    steps["pre-buffer"].append(prebuffer - connect)
                    steps["player"].append(playing - prebuffer)
                steps["total"].append(playing)
            for step, values in steps.items():
                if values:
                    print(f"{road:6} {step:12} {statistics.median(values):10.0f} "
                          f"{min(values):11.0f} {len(values):5}")
                else:
                    print(f"{road:6} {step:12} {'-':>10} {'-':>11} {0:5}")
    finally:
        fixture.terminate()
        fixture.wait(30)


if __name__ == "__main__":
    main()
