#!/usr/bin/env python3
"""The seeding service for real: installed with rundll32, started and
stopped with "net start/stop kxsvc" under the prefix's svchost, over cache
pairs of the Python writer that name the swarm fixture's NAT server and
tracker. Run by tests/fixtures/runner.py with the swarm fixture.

Checks: with no cached video the service stops at once; the NAT login and one "peeron" per cached video of each group's
tracker; a tracker that answers 500 gets the next "peeron" 20 and then 40
seconds later, and an accepted answer brings the spacing back to 10; a pair
added to the cache folder is announced, an announced pair removed is
withdrawn with "peeroff"; installing over the running service restarts it
with "ServiceDll" put right; "net stop" ends the service cleanly.
"""
import argparse
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import cachepair  # noqa: E402
from service_prefix import RUNNING, STOPPED, ServicePrefix  # noqa: E402
from swarm_client import Failure, SwarmClient, check  # noqa: E402

SIZE = 3 * cachepair.BLOCK_SIZE - 500
GROUP_VOD = [("a1" * 16, 501), ("a2" * 16, 502)]
GROUP_OTHER = [("c3" * 16, 601)]
ADDED = ("a4" * 16, 504)


def write_pair(staging, prefix, hash_, cid, swarm, tracker_path):
    header = cachepair.Header(hash_, nat=f"127.0.0.1:{swarm.nat}",
                              tracker=swarm.url(tracker_path), cid=cid,
                              blocks=cachepair.block_count(SIZE))
    prefix.put_pair(staging, header,
                    [(b, cachepair.video_bytes(SIZE, b, 1)) for b in (0, 1, 2)])


def sends(log, msg):
    """(time, hash, path) of each distinct send: a failed send's tries follow
    each other within a second and count once."""
    out = []
    for entry in log:
        if entry["msg"] != msg:
            continue
        h = entry["request"].get("hash")
        if out and out[-1][1] == h and entry["t"] - out[-1][0] < 2.0:
            continue
        out.append((entry["t"], h, entry["path"]))
    return out


def empty_cache_stops_at_once(prefix):
    prefix.install()
    prefix.wine("net", "start", "kxsvc")
    prefix.wait_state(STOPPED, 10)


def install_over_running_service(prefix, swarm):
    """Installing again stops the running service, puts "ServiceDll" right
    and starts it again, which announces the cached videos once more."""
    key = r"HKLM\SYSTEM\CurrentControlSet\Services\kxsvc\Parameters"
    prefix.wine("reg", "add", key, "/v", "ServiceDll", "/t", "REG_EXPAND_SZ", "/d",
                r"C:\nowhere\vodctl.dll", "/f")
    before = len([e for e in swarm.log() if e["msg"] == "peeron"])
    prefix.install()
    code, out = prefix.wine("reg", "query", key, "/v", "ServiceDll")
    check(prefix.dll.replace("/", "\\").lower() in out.lower(), f"ServiceDll: {out}")
    check(prefix.state() == RUNNING, "running again after the installation")
    swarm.wait("peeron", before + 1, 30)


def scenario(prefix, swarm, staging):
    empty_cache_stops_at_once(prefix)
    for hash_, cid in GROUP_VOD:
        write_pair(staging, prefix, hash_, cid, swarm, "/vod")
    for hash_, cid in GROUP_OTHER:
        write_pair(staging, prefix, hash_, cid, swarm, "/other")
    # Each send tries three times: two failed sends, then accepted ones.
    swarm.control({"reset": True, "fail": {"peeron": 6}})

    prefix.install()
    prefix.start()

    peers = swarm.logins(30)
    check(len(peers) == 1, f"one seeder, one core: {peers}")

    # "/other" sorts first: its video meets the failures.
    swarm.wait("peeron", 6 + 3, 120)
    on = sends(swarm.log(), "peeron")
    print("peeron sends:", on)
    check(len(on) == 5, f"two failed sends and three accepted: {on}")
    check([s[1] for s in on[:3]] == [GROUP_OTHER[0][0]] * 3, f"retries of the first video: {on}")
    gaps = [round(b[0] - a[0], 1) for a, b in zip(on, on[1:])]
    print("gaps:", gaps)
    for got, want in zip(gaps, [20, 40, 10, 10]):
        check(abs(got - want) <= 2.0, f"retry spacing {gaps}, want 20, 40, 10, 10")
    announced = {(s[1], s[2]) for s in on[2:]}
    want = {(h, "/vod") for h, _ in GROUP_VOD} | {(h, "/other") for h, _ in GROUP_OTHER}
    check(announced == want, f"announced {announced}, want {want}")
    cids = {e["request"]["hash"]: e["request"]["cid"] for e in swarm.log() if e["msg"] == "peeron"}
    check(cids == {h: c for h, c in GROUP_VOD + GROUP_OTHER}, f"content ids {cids}")

    # A new pair is announced, an announced one that goes is withdrawn.
    write_pair(staging, prefix, ADDED[0], ADDED[1], swarm, "/vod")
    swarm.wait("peeron", 6 + 4, 40)
    check(sends(swarm.log(), "peeron")[-1][1] == ADDED[0], "the added pair announced")
    gone = GROUP_VOD[0][0]
    os.remove(os.path.join(prefix.cache, gone + ".vd2"))
    os.remove(os.path.join(prefix.cache, gone))
    swarm.wait("peeroff", 1, 40)
    off = [e for e in swarm.log() if e["msg"] == "peeroff"]
    check(len(off) == 1 and off[0]["request"]["hash"] == gone and off[0]["path"] == "/vod"
          and off[0]["request"]["cid"] == GROUP_VOD[0][1], f"peeroff {off}")

    install_over_running_service(prefix, swarm)
    prefix.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--dll", required=True)
    args = parser.parse_args()

    prefix = ServicePrefix(args.wine_run, args.arch, args.prefix, args.dll)
    swarm = SwarmClient()
    staging = tempfile.mkdtemp(prefix="tovra-service-")
    try:
        prefix.prepare()
        scenario(prefix, swarm, staging)
        print("ok")
        return 0
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        prefix.restore()
        shutil.rmtree(staging, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
