"""A video on demand between machines of this host, each machine a Wine
prefix with a wineserver of its own: the seeding service serves an FLV from
its cache folder in one prefix; viewers (tests/tools/voddriver, one engine
each) in prefixes of their own ask the swarm fixture's tracker for it; curl
reads it from a viewer's loopback URL. Runs under tests/fixtures/runner.py
with the swarm fixture. Used by the main job (vod_show.py) and the
end-to-end test (test_two_viewers.py)."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import cachepair  # noqa: E402
from line_process import LineProcess  # noqa: E402
from media import make_flv  # noqa: E402
from proc_stats import cpu_seconds, find_pids  # noqa: E402
from service_prefix import RUNNING, ServicePrefix  # noqa: E402
from swarm_client import SwarmClient, check  # noqa: E402

TRACKER_PATH = "/cgi-bin/vod.fcgi"
CID = 7001


def add_arguments(parser):
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--prefix", required=True, help="the service's prefix")
    parser.add_argument("--dll", required=True, help="vodctl.dll as a Windows path")
    parser.add_argument("--driver", required=True, help="voddriver.exe")
    parser.add_argument("--viewer-prefix", action="append", required=True,
                        help="one prefix per viewer, in order")


class Viewer(LineProcess):
    """One voddriver engine; url is its loopback play URL."""

    def __init__(self, name, argv, prefix):
        self.name, self.prefix = name, prefix
        self.started = time.monotonic()
        super().__init__(argv)
        self.url = self.expect("URL").split()[1]
        self.url_at = time.monotonic()

    def stats(self, line):
        """(sessions, contiguous blocks, down total, up total) of a STATS line."""
        fields = line.split()
        return int(fields[1]), int(fields[2]), int(fields[6]), int(fields[7])

    def wait_blocks(self, blocks, timeout):
        return self.stats(self.expect("STATS", timeout,
                                      accept=lambda l: self.stats(l)[1] >= blocks))

    def steps(self, timeout=10):
        """The engine's STEPS line: ms after its Start began, by step."""
        line = next((l for l in self.seen if l.startswith("STEPS ")), None) or self.expect("STEPS", timeout)
        return {k: int(v) for k, v in (f.split("=") for f in line.split()[1:])}

    def cpu_seconds(self):
        return sum(cpu_seconds(p) for p in find_pids("voddriver.exe", self.prefix))


class SeededSwarm:
    def __init__(self, args):
        self.args = args
        self.swarm = SwarmClient()
        self.service = ServicePrefix(args.wine_run, args.arch, args.prefix, args.dll)
        self.scratch = tempfile.mkdtemp(prefix="tovra-swarm-")
        self.viewers = []
        self.service_pid = None

    # ------------------------------------------------------------ the video

    def make_video(self, seconds, bitrate_k):
        self.flv = os.path.join(self.scratch, "clip.flv")
        make_flv(self.flv, seconds, bitrate_k)
        with open(self.flv, "rb") as f:
            self.data = f.read()
        self.hash = hashlib.md5(self.data).hexdigest()
        self.blocks = cachepair.block_count(len(self.data))
        self.bitrate = len(self.data) * 8 // seconds

    # ------------------------------------------------------------ the seed

    def serve(self, timeout=60):
        """The whole video in the service's cache; the service installed and
        started; returns once it logged in and announced the video."""
        self.service.prepare()
        self.swarm.control({"reset": True,
                            "files": {self.hash: [len(self.data), self.bitrate]}})
        header = cachepair.Header(self.hash, nat=f"127.0.0.1:{self.swarm.nat}",
                                  tracker=self.swarm.url(TRACKER_PATH), cid=CID,
                                  blocks=self.blocks)
        size = cachepair.BLOCK_SIZE
        staging = os.path.join(self.scratch, "staging")
        os.makedirs(staging)
        self.service.put_pair(staging, header, [(b, self.data[b * size:(b + 1) * size])
                                                for b in range(self.blocks)])
        self.service.install()
        self.service.start()
        self.swarm.logins(timeout)
        self.swarm.wait("peeron", 1, timeout)
        on = self.announcements()
        check(len(on) == 1 and on[0]["hash"] == self.hash and on[0]["cid"] == CID,
              f"the service's announcement: {on}")
        # Announced with node type "seed", as the real tracker knows services.
        self.service_pid = on[0]["pid"]
        self.swarm.control({"seeds": [self.service_pid]})

    def announcements(self):
        return [e["request"] for e in self.swarm.log() if e["msg"] == "peeron"]

    # ------------------------------------------------------------ viewers

    def stop_wine(self, prefix):
        # A wineserver keeps the network namespace it started in.
        stop = os.path.join(os.path.dirname(self.args.wine_run), "wine-stop.sh")
        subprocess.run([stop, self.args.arch, prefix], stdin=subprocess.DEVNULL, timeout=60)

    def start_viewer(self):
        n = len(self.viewers)
        prefix = os.path.realpath(self.args.viewer_prefix[n])
        self.stop_wine(prefix)
        # The viewer's machine is up before its program starts: Wine's own
        # start (wineserver, services, desktop) is timed apart.
        booted = time.monotonic()
        subprocess.run([self.args.wine_run, self.args.arch, prefix, "cmd", "/c", "exit"],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)
        self.boot_s = time.monotonic() - booted
        argv = [self.args.wine_run, self.args.arch, prefix, self.args.driver,
                "--tracker", self.swarm.url(TRACKER_PATH), "--nat", f"127.0.0.1:{self.swarm.nat}",
                "--hash", self.hash, "--cid", str(CID), "--type", "flv"]
        viewer = Viewer(f"viewer {n + 1}", argv, prefix)
        self.viewers.append(viewer)
        return viewer

    def fetch(self, viewer, timeout=120):
        """curl reads the viewer's URL once the engine has a connected peer
        (before that the loopback server ends a read at once; "CONNECTED 1"
        only says that connections were started, and on a loaded machine the
        first can take longer than curl to come); returns the body and curl's
        figures: seconds to the first byte and in all, bytes, bytes/s."""
        if not any(l.startswith("LINKED ") for l in viewer.seen):
            viewer.expect("LINKED")
        asked = time.monotonic()
        # The body comes on curl's stdout, timed here from its first byte (curl's
        # own time to the first byte is that of the reply header); its figures
        # come on stderr.
        curl = subprocess.Popen(["curl", "-s", "-S", "-N", "--max-time", str(timeout), "-w",
                                 "%{stderr}%{time_starttransfer} %{time_total} %{size_download} "
                                 "%{speed_download}", viewer.url],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        body = curl.stdout.read(1)
        first_body = time.monotonic() - asked
        body += curl.stdout.read()
        err = curl.stderr.read().decode(errors="replace")
        check(curl.wait(timeout) == 0, f"curl {viewer.url}: {curl.returncode} {err}")
        first, total, size, speed = (float(x) for x in err.split()[-4:])
        return body, {"first_byte_s": first, "first_body_s": first_body, "total_s": total,
                      "bytes": int(size), "bytes_per_s": speed,
                      "since_start_s": asked - viewer.started + first_body, "first_body_at": asked + first_body}

    # ------------------------------------------------------------ the end

    def close(self):
        for viewer in reversed(self.viewers):
            viewer.stop()
            self.stop_wine(viewer.prefix)
        if self.service.state() == RUNNING:
            self.service.wine("net", "stop", "kxsvc")
        self.service.restore()
        shutil.rmtree(self.scratch, ignore_errors=True)
