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
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import cachepair  # noqa: E402

SIZE = 3 * cachepair.BLOCK_SIZE - 500
GROUP_VOD = [("a1" * 16, 501), ("a2" * 16, 502)]
GROUP_OTHER = [("c3" * 16, 601)]
ADDED = ("a4" * 16, 504)


class Failure(Exception):
    pass


def check(condition, text):
    if not condition:
        raise Failure(text)


class Prefix:
    def __init__(self, args):
        self.args = args
        self.root = os.path.realpath(args.prefix)
        self.cache = os.path.join(self.root, "drive_c", "RODar_Azizo")
        self.common_ini = os.path.join(self.root, "drive_c", "ProgramData", "zuvoriru",
                                       "vodctl.ini")

    def wine(self, *argv, timeout=60):
        result = subprocess.run([self.args.wine_run, self.args.arch, self.root] + list(argv),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=timeout)
        return result.returncode, result.stdout + result.stderr

    def state(self):
        code, out = self.wine("sc", "query", "kxsvc")
        for line in out.splitlines():
            if "STATE" in line:
                return int(line.split(":")[1].split()[0])
        return None

    def empty_cache(self):
        os.makedirs(self.cache, exist_ok=True)
        for name in os.listdir(self.cache):
            path = os.path.join(self.cache, name)
            if os.path.isfile(path):
                os.remove(path)


def http_get(port, path, timeout=70):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=timeout) as r:
        return r.read()


def http_post(port, path, body):
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}",
                                     data=json.dumps(body).encode(), method="POST")
    with urllib.request.urlopen(request, timeout=10) as r:
        return r.read()


class Swarm:
    def __init__(self):
        self.nat = int(os.environ["TOVRA_NAT_PORT"])
        self.nat_control = int(os.environ["TOVRA_NAT_CONTROL_PORT"])
        self.tracker = int(os.environ["TOVRA_TRACKER_PORT"])

    def url(self, path):
        return f"http://127.0.0.1:{self.tracker}{path}"

    def wait(self, msg, n, timeout):
        # The fixture answers a wait after at most 30 s: ask again until ours ends.
        deadline = time.monotonic() + timeout
        while True:
            left = max(0.0, deadline - time.monotonic())
            got = int(http_get(self.tracker, f"/_wait?msg={msg}&n={n}&timeout={left:.1f}"))
            if got >= n or left <= 0:
                break
        check(got >= n, f"{msg}: {got} of {n} within {timeout} s; log: {self.log()}")

    def log(self):
        return json.loads(http_get(self.tracker, "/_state"))["requests"]

    def logins(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            peers = json.loads(http_get(self.nat_control, "/_state"))["peers"]
            if peers:
                return peers
            http_get(self.nat_control, "/_wait?n=1000000&timeout=0.5")
        raise Failure("no login at the NAT server")


def write_pair(staging, folder, hash_, cid, swarm, tracker_path):
    header = cachepair.Header(hash_, nat=f"127.0.0.1:{swarm.nat}",
                              tracker=swarm.url(tracker_path), cid=cid,
                              blocks=cachepair.block_count(SIZE))
    cachepair.write_pair(staging, header,
                         [(b, cachepair.video_bytes(SIZE, b, 1)) for b in (0, 1, 2)])
    # Data file first, index last, as the engine leaves them.
    os.replace(os.path.join(staging, hash_), os.path.join(folder, hash_))
    os.replace(os.path.join(staging, hash_ + ".vd2"), os.path.join(folder, hash_ + ".vd2"))


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


def wait_state(prefix, state, timeout):
    deadline = time.monotonic() + timeout
    while prefix.state() != state:
        check(time.monotonic() < deadline, f"service not in state {state} within {timeout} s")
        # sc itself takes tens of milliseconds; this only spaces the queries.
        time.sleep(0.2)


def empty_cache_stops_at_once(prefix):
    code, out = prefix.wine("rundll32", prefix.args.dll + ",RundllInstallA")
    check(code == 0, f"rundll32: {out}")
    prefix.wine("net", "start", "kxsvc")
    wait_state(prefix, 1, 10)


def install_over_running_service(prefix, swarm):
    """Installing again stops the running service, puts "ServiceDll" right
    and starts it again, which announces the cached videos once more."""
    key = r"HKLM\SYSTEM\CurrentControlSet\Services\kxsvc\Parameters"
    prefix.wine("reg", "add", key, "/v", "ServiceDll", "/t", "REG_EXPAND_SZ", "/d",
                r"C:\nowhere\vodctl.dll", "/f")
    before = len([e for e in swarm.log() if e["msg"] == "peeron"])
    code, out = prefix.wine("rundll32", prefix.args.dll + ",RundllInstallA")
    check(code == 0, f"rundll32: {out}")
    code, out = prefix.wine("reg", "query", key, "/v", "ServiceDll")
    check(prefix.args.dll.replace("/", "\\").lower() in out.lower(), f"ServiceDll: {out}")
    check(prefix.state() == 4, "running again after the installation")
    swarm.wait("peeron", before + 1, 30)


def scenario(prefix, swarm, staging):
    empty_cache_stops_at_once(prefix)
    for hash_, cid in GROUP_VOD:
        write_pair(staging, prefix.cache, hash_, cid, swarm, "/vod")
    for hash_, cid in GROUP_OTHER:
        write_pair(staging, prefix.cache, hash_, cid, swarm, "/other")
    # Each send tries three times: two failed sends, then accepted ones.
    http_post(swarm.tracker, "/_control", {"reset": True, "fail": {"peeron": 6}})

    code, out = prefix.wine("rundll32", prefix.args.dll + ",RundllInstallA")
    check(code == 0, f"rundll32: {out}")
    code, out = prefix.wine("net", "start", "kxsvc")
    check(code == 0, f"net start: {out}")
    check(prefix.state() == 4, "not running after net start")

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
    write_pair(staging, prefix.cache, ADDED[0], ADDED[1], swarm, "/vod")
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
    code, out = prefix.wine("net", "stop", "kxsvc")
    check(code == 0, f"net stop: {out}")
    check(prefix.state() == 1, "not stopped after net stop")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--dll", required=True)
    args = parser.parse_args()

    prefix = Prefix(args)
    swarm = Swarm()
    staging = tempfile.mkdtemp(prefix="tovra-service-")
    kept_ini = None
    if os.path.exists(prefix.common_ini):
        with open(prefix.common_ini, "rb") as f:
            kept_ini = f.read()
    try:
        prefix.wine("rundll32", args.dll + ",RundllUninstallA")
        prefix.empty_cache()
        # A STUN server that refuses at once keeps the seeder on loopback.
        os.makedirs(os.path.dirname(prefix.common_ini), exist_ok=True)
        with open(prefix.common_ini, "w") as f:
            f.write("[cachedata]\r\nstun=127.0.0.1:80\r\n")
        scenario(prefix, swarm, staging)
        print("ok")
        return 0
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        prefix.wine("rundll32", args.dll + ",RundllUninstallA")
        prefix.empty_cache()
        if kept_ini is None:
            os.remove(prefix.common_ini)
        else:
            with open(prefix.common_ini, "wb") as f:
                f.write(kept_ini)
        shutil.rmtree(staging, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
