#!/usr/bin/env python3
"""A live channel end to end: engines (tests/tools/livedriver) join the
channel of the test source node (tests/tools/livesource) through the NAT
server and the tracker of tests/fixtures (run inside this test process), and
read its pieces in order.

usage: live_processes.py --driver livedriver.exe --source livesource.exe
                         [-k PATTERN] -- EMULATOR...
"""
import json
import os
import queue
import shutil
import sys
import tempfile
import unittest
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import bencoding  # noqa: E402
import livepieces  # noqa: E402
from inprocess_swarm import InProcessSwarm, windows_path  # noqa: E402
from line_process import WAIT, LineProcess  # noqa: E402
from script_args import split_script_args  # noqa: E402

EMULATOR = []
DRIVER = None
SOURCE = None
CID = 4242
FIRST = 100000
LAG = 20


class Swarm(InProcessSwarm):
    def __init__(self):
        super().__init__("/live")

    def announce(self, pid, peertype):
        self.tracker.handle("/", bencoding.encode({b"msg": b"peeron", b"cid": CID, b"peertype": peertype,
                                                   b"peer": [pid]}))

    def report_newest(self, newest):
        """What a source does on the tracker's control route."""
        urllib.request.urlopen(urllib.request.Request(
            f"http://127.0.0.1:{self.port}/_live_time?cid={CID}&time={newest}", data=b"", method="POST")).read()

    def peerons_after_login(self):
        return [r for r in self.tracker.state()["requests"]
                if r["msg"] == "peeron" and r["path"] == "/live"]


def pid_of(process):
    said = [l for l in process.seen if l.startswith("ADDRESS ")]
    line = said[0] if said else process.expect("ADDRESS")
    return bytes.fromhex(line.split()[1])[2:22]


def drain(process):
    """Lines that arrived so far, without waiting."""
    while True:
        try:
            line = process.lines.get_nowait()
        except queue.Empty:
            return
        if line is None:
            return
        process.seen.append(line)


class LiveChannel(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="live-e2e-")
        cls.pieces_path = os.path.join(cls.scratch, "channel.lpc")
        cls.info = livepieces.make(cls.pieces_path, FIRST, seconds=70, bitrate_k=150)
        cls.md5 = {FIRST + i: m for i, m in enumerate(cls.info["md5"])}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.swarm = Swarm()
        self.processes = []

    def tearDown(self):
        for p in reversed(self.processes):
            p.stop()
        self.swarm.close()

    def start_source(self, *options):
        source = LineProcess(EMULATOR + [SOURCE, "--nat", f"127.0.0.1:{self.swarm.nat.port}",
                                         "--pieces", windows_path(self.pieces_path), "--cid", str(CID),
                                         "--every", "500"] + list(options))
        self.processes.append(source)
        source.newest = int(source.expect("NEWEST").split()[1])
        source.pid = pid_of(source)
        self.swarm.announce(source.pid, 1)
        self.swarm.report_newest(source.newest)
        return source

    def refresh_live_point(self, source):
        drain(source)
        newest = [int(l.split()[1]) for l in source.seen if l.startswith("NEWEST ")]
        self.swarm.report_newest(newest[-1])

    def start_driver(self, *options):
        # Each engine its own port range: the port is part of its peer id.
        low = 41000 + 1000 * len(self.processes)
        driver = LineProcess(EMULATOR + [DRIVER, "--tracker", self.swarm.url,
                                         "--nat", f"127.0.0.1:{self.swarm.nat.port}", "--cid", str(CID),
                                         "--send-rate", "2000", "--ports", f"{low}-{low + 999}"]
                             + list(options))
        self.processes.append(driver)
        return driver

    def statuses(self, driver):
        return [tuple(int(x) for x in l.split()[1:]) for l in driver.seen if l.startswith("STATUS ")]

    def read_pieces(self, driver, count, timeout=120):
        """count consecutive pieces from the window start; each must match."""
        window = int(driver.expect("WINDOW", timeout).split()[1])
        for n in range(window, window + count):
            line = driver.expect("PIECE", timeout)
            _, number, length, md5 = line.split()
            self.assertEqual(int(number), n, line)
            self.assertEqual(md5, self.md5[n], line)
        return window

    def test_join(self):
        source = self.start_source()
        driver = self.start_driver()
        driver.expect("CONNECTED", accept=lambda l: l == "CONNECTED 1")
        self.assertEqual(self.statuses(driver), [(1, 111), (2, 112), (4, 114), (5, 115), (7, 117)])
        window = self.read_pieces(driver, 30)
        # The window starts LAG pieces behind the newest piece the source
        # held when it accepted the engine.
        source.expect("HELLO", accept=lambda l: l.endswith("ACCEPTED"))
        newest = [int(l.split()[1]) for l in source.seen if l.startswith("NEWEST ")]
        self.assertEqual(window, newest[-1] + 1 - LAG)
        # One peeron, once logged in; none after it.
        self.assertEqual(self.swarm.tracker.wait_count("peeron", 2, 30), 2)   # the source's and ours
        self.assertEqual(self.swarm.tracker.wait_count("peeron", 3, 7), 2)
        pid = pid_of(driver)
        announced = [r["request"]["peer"] for r in self.swarm.peerons_after_login()]
        self.assertEqual(announced.count([pid.decode("latin-1")]), 1)

    def test_lossy_source(self):
        """Dropped blocks are asked again; a rate the source claims falsely
        does not stop the pieces."""
        source = self.start_source("--drop", "5", "--false-rate", "50")
        driver = self.start_driver()
        self.read_pieces(driver, 30)
        drain(source)
        dropped = [int(l.split()[2]) for l in source.seen if l.startswith("BLOCKS ")]
        self.assertTrue(dropped and dropped[-1] > 0, "the source dropped nothing")

    def test_refusing_source(self):
        source = self.start_source("--refuse")
        driver = self.start_driver()
        source.expect("HELLO", accept=lambda l: l.endswith("REFUSED"))
        # The engine ends the session and closes the connection.
        source.expect("EVENT 5")
        # The next statistics count no session and no playback.
        drain(driver)
        line = driver.expect("STATS")
        self.assertEqual(line.split()[1:3], ["0", "0"], line)

    def test_viewer_path(self):
        source = self.start_source()
        first = self.start_driver()
        self.read_pieces(first, 10)
        first.pid = pid_of(first)
        # The first engine announces itself 5 s after its playback started.
        self.assertEqual(self.swarm.tracker.wait_count("peeron", 2, 30), 2)
        self.swarm.tracker.set_knobs({"hidden": [source.pid.decode("latin-1")]})
        self.refresh_live_point(source)
        second = self.start_driver()
        second.expect("CONNECTED", accept=lambda l: l == "CONNECTED 1")
        self.read_pieces(second, 20)
        # The first engine uploaded to the second.
        first.expect("STATS", 30, accept=lambda l: int(l.split()[6]) > 0)
        # A chat text reaches the other engine once, and never the source.
        second.say("RELAY hello from the second")
        first.expect("RELAY", 30, accept=lambda l: l == "RELAY hello from the second")
        second.say("RELAY marker")
        first.expect("RELAY", 30, accept=lambda l: l == "RELAY marker")
        self.assertEqual([l for l in first.seen if l.startswith("RELAY ")],
                         ["RELAY hello from the second", "RELAY marker"])
        drain(source)
        self.assertEqual([l for l in source.seen if l.startswith("RELAYIN")], [])

    def test_simultaneous_connects(self):
        # Both ask once both are announced: each is listed to the other at once.
        self.swarm.tracker.set_knobs({"delay_ms": {"reqpeer": 10000}})
        first = self.start_driver()
        second = self.start_driver()
        for driver in (first, second):
            self.swarm.announce(pid_of(driver), 0)
        for driver in (first, second):
            self.assertEqual(driver.expect("CONNECTED", 40), "CONNECTED 1")
        # One connection, and it works: the side whose hello was answered
        # starts playback (the other has no start of its own without pieces)
        # and its texts reach the other side.
        try:
            first.expect("WINDOW", 15)
            sender, receiver = first, second
        except AssertionError:
            second.expect("WINDOW", 15)
            sender, receiver = second, first
        sender.say("RELAY over the one connection")
        receiver.expect("RELAY", 30, accept=lambda l: l == "RELAY over the one connection")
        for driver in (first, second):
            line = driver.expect("STATS", 10)
            self.assertEqual(line.split()[1], "1", line)

    def test_cycles(self):
        """Twenty Start/Stop cycles, each stopped once pieces were read."""
        self.start_source()
        driver = self.start_driver("--cycles", "20")
        driver.expect("STOPPED", 600)
        cycles = [[int(x) for x in l.split()[1:]] for l in driver.seen if l.startswith("CYCLE ")]
        self.assertEqual(len(cycles), 20)
        self.assertTrue(all(c[3] > 0 for c in cycles[1:]), cycles)
        self.assertTrue(all(c[4] < 5000 for c in cycles), cycles)
        # What one cycle leaves behind would add up to 18 over the cycles
        # after the second; the system's thread pool may keep a few more.
        self.assertLessEqual(cycles[-1][1], cycles[1][1] + 4, cycles)
        self.assertLessEqual(cycles[-1][2], cycles[1][2] + 4, cycles)


def main():
    global EMULATOR, DRIVER, SOURCE
    values, EMULATOR, rest = split_script_args(sys.argv[1:], ["driver", "source"])
    DRIVER, SOURCE = values.get("driver"), values.get("source")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)

if __name__ == "__main__":
    main()
