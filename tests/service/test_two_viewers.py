#!/usr/bin/env python3
"""Two viewers and the seeding service, each in a Wine prefix of its own,
under tests/fixtures/runner.py with the swarm fixture.

Checks: the service announces the FLV of its cache; viewer 1 finds it
through the tracker and its URL gives the FLV byte for byte; viewer 1
announces itself; viewer 2, asking after that, holds sessions with both the
service and viewer 1, its URL gives the FLV byte for byte, and viewer 1 served
some of those bytes; a relay text
queued on either viewer is shown once by the other and never by its sender
(a seed is not sent texts, a text of the first hop is not forwarded).
"""
import argparse
import sys

from seeded_swarm import SeededSwarm, add_arguments
from swarm_client import Failure, check

WAIT = 60


def download(run, viewer):
    body, _ = run.fetch(viewer)
    check(len(body) == len(run.data), f"{viewer.name}: {len(body)} of {len(run.data)} bytes")
    check(body == run.data, f"{viewer.name}: the bytes read from its URL differ from the FLV")
    return viewer.wait_blocks(run.blocks, WAIT)


def relay(sender, receiver, text):
    sender.say("RELAY " + text)
    receiver.expect("RELAY", 20, accept=lambda l: l == "RELAY " + text)


def scenario(run):
    run.make_video(3, 600)
    run.serve()
    first = run.start_viewer()
    download(run, first)
    # An engine announces itself 5 s after its playback started.
    run.swarm.wait("peeron", 2, 30)
    on = run.announcements()
    first_pid = on[1]["pid"]
    check(first_pid != run.service_pid and on[1]["hash"] == run.hash, f"announcements {on}")

    # What the tracker lists to viewer 2.
    listed = {(a["hash"], a["pid"]) for a in run.swarm.state()["announced"]}
    check(listed == {(run.hash, run.service_pid), (run.hash, first_pid)}, f"listed {listed}")
    second = run.start_viewer()
    second.expect("STATS", WAIT, accept=lambda l: second.stats(l)[0] >= 2)
    sessions, _, down, _ = download(run, second)
    check(sessions == 2, f"viewer 2 holds {sessions} sessions, want the service and viewer 1")

    relay(first, second, "hello from viewer 1")
    relay(second, first, "hello from viewer 2")
    for viewer in (first, second):
        viewer.stop()
    # How much viewer 1 serves depends on timing: a short video's requests
    # all go out at once, spread over the peers that can take more.
    uploaded = max(first.stats(l)[3] for l in first.seen if l.startswith("STATS "))
    print(f"viewer 1 uploaded {uploaded} of the {down} bytes viewer 2 received")
    check(uploaded > 0, "viewer 2 received nothing from viewer 1")
    check(first.seen.count("RELAY hello from viewer 2") == 1
          and "RELAY hello from viewer 1" not in first.seen, f"viewer 1 showed {first.seen}")
    check(second.seen.count("RELAY hello from viewer 1") == 1
          and "RELAY hello from viewer 2" not in second.seen, f"viewer 2 showed {second.seen}")


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    run = SeededSwarm(parser.parse_args())
    try:
        scenario(run)
        print("ok")
        return 0
    except (Failure, AssertionError) as e:
        print("FAILED:", e)
        return 1
    finally:
        run.close()


if __name__ == "__main__":
    sys.exit(main())
