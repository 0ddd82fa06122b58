#!/usr/bin/env python3
"""The main job's demonstration: one video on demand through the seeding
service, told step by step with its figures. Runs under
tests/fixtures/runner.py with the swarm fixture; exits 1 unless the viewer's
URL gave the FLV byte for byte.

usage: vod_show.py --wine-run W --arch A --prefix SERVICE_PREFIX --dll Z:vodctl.dll
                   --driver voddriver.exe --viewer-prefix VIEWER_PREFIX
"""
import argparse
import signal
import sys

from seeded_swarm import SeededSwarm, add_arguments
from swarm_client import Failure
from media import ffprobe

SECONDS, BITRATE_K = 20, 1200


def step(text):
    print(f"-- {text}", flush=True)


# The road to the first byte, in order: (label, engine step or None).
STEPS = [("process start: the engine's Start begins", "begin"),
         ("Start returned (window, network core, loopback server)", "started"),
         ("login at the NAT server", "login"),
         ("first tracker request answered (reqfileinfo: the size)", "size"),
         ("reqpeer sent (timer 1, 500 ms after the size)", "asked"),
         ("reqpeer answered with candidates", "found"),
         ("punch and reliable connect", "connected"),
         ("hello and hello reply", "accepted"),
         ("first request (first 100 ms scheduler tick)", "requested"),
         ("first piece (service reads the block, paces it)", "piece"),
         ("first read with bytes (loopback server retries every 100 ms)", "read"),
         ("first HTTP body byte at curl", "http")]
LABELS = dict((key, label) for label, key in STEPS)


def show_steps(run, viewer, figures):
    """Each step towards the first body byte, in ms after the viewer's
    process was started and after the step before."""
    steps = viewer.steps()
    begin = viewer.url_at - steps["started"] / 1000   # the engine's Start began
    at = {k: begin + v / 1000 for k, v in steps.items() if v >= 0}
    at["begin"] = begin
    logins = [e["mono"] for e in run.swarm.nat_log()
              if e.get("action") == "reply" and e.get("code") == 1 and e.get("mono", 0) >= viewer.started]
    if logins:
        at["login"] = min(logins)
    at["http"] = figures["first_body_at"]
    print(f"time to first body byte, step by step (Wine took {run.boot_s * 1000:.0f} ms to bring the "
          f"viewer's machine up before; ms after the viewer started, and after the step before):")
    last = viewer.started
    for key in sorted(at, key=at.get):
        print(f"  {(at[key] - viewer.started) * 1000:7.0f} {(at[key] - last) * 1000:+7.0f}  {LABELS[key]}")
        last = at[key]


def show(run):
    run.make_video(SECONDS, BITRATE_K)
    step(f"made {run.flv}: {len(run.data)} bytes, {run.blocks} blocks, md5 {run.hash}")
    step(f"swarm fixture: NAT server 127.0.0.1:{run.swarm.nat}, "
         f"tracker 127.0.0.1:{run.swarm.tracker}")
    step("service: cache pair written, rundll32 RundllInstallA, net start kxsvc")
    run.serve()
    step(f"service logged in to the NAT server and announced the video (peeron, "
         f"pid {run.service_pid!r})")
    viewer = run.start_viewer()
    step(f"viewer: voddriver started, play URL {viewer.url}")
    body, figures = run.fetch(viewer)
    step(f"curl read {len(body)} bytes from {viewer.url}")
    # Its line comes with the engine's first statistics after the first read.
    viewer.steps()
    sessions, _, down, _ = viewer.wait_blocks(run.blocks, 60)
    cpu = viewer.cpu_seconds()
    intact = body == run.data
    step("the downloaded bytes equal the FLV" if intact else "the downloaded bytes DIFFER")
    if intact:
        probe = ffprobe(body, "format=format_name,duration:stream=codec_type,codec_name")
        streams = ", ".join(f"{s['codec_type']} {s['codec_name']}" for s in probe["streams"])
        step(f"ffprobe: format {probe['format']['format_name']}, duration "
             f"{probe['format']['duration']} s, streams: {streams}")
    mb = len(run.data) / 1e6
    transfer = max(figures["total_s"] - figures["first_byte_s"], 1e-6)
    print(f"time to first body byte    {figures['first_body_s'] * 1000:.0f} ms after the request, "
          f"{figures['since_start_s'] * 1000:.0f} ms after the viewer started")
    show_steps(run, viewer, figures)
    print(f"rate                       {figures['bytes_per_s'] * 8 / 1000:.0f} kbit/s over the "
          f"request, {len(body) * 8 / 1000 / transfer:.0f} kbit/s after the first byte "
          f"(video {run.bitrate // 1000} kbit/s)")
    print(f"wire bytes per byte        {down / len(run.data):.3f} ({down} datagram bytes "
          f"received for {len(run.data)}, {sessions} session(s))")
    print(f"engine CPU per MB          {cpu / mb:.2f} s ({cpu:.2f} s for {mb:.2f} MB)")
    return intact


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    args = parser.parse_args()
    # A stop from the shell's trap still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    run = SeededSwarm(args)
    try:
        return 0 if show(run) else 1
    except (Failure, AssertionError) as e:
        print("FAILED:", e)
        return 1
    finally:
        step("stopping: viewer STOP, service uninstalled (net stop first), prefixes' wineservers")
        run.close()


if __name__ == "__main__":
    sys.exit(main())
