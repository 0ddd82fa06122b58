#!/usr/bin/env python3
"""Two network cores in two Wine processes (tests/tools/ppndriver), logged in
to the NAT server fixture and talking through the impairment relay; both
servers run inside this test process.

usage: ppn_processes.py --driver ppndriver.exe [--lossy-bytes N] [-k PATTERN]
                        -- EMULATOR...
(the Wine wrapper and its arguments, as CTest's cross-compiling emulator;
-k runs only the tests whose names hold the pattern, as unittest's -k)

--lossy-bytes is the budget of the run with loss, duplication and
reordering (default 3 MB, split between both directions): with a window of
10 datagrams, every lost one holds a slot for half a second, so at 5 % loss
that run moves about a tenth of a megabyte a second.
"""
import math
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
from line_process import LineProcess  # noqa: E402
from nat_server import NatServer, pack_address  # noqa: E402
from registry import PeerRegistry  # noqa: E402
from udp_relay import RelayPair  # noqa: E402

EMULATOR = []
DRIVER = None
LOSSY_BYTES = 3_000_000
WAIT = 60  # seconds for any one expected line; COM start-up under Wine can be slow
MAX_SIZE = 65536
# The drivers' message sizes: exp(u^4 ln(max + 1)) for u even on [0, 1).
MEAN_SIZE = sum(math.exp((i / 1000) ** 4 * math.log(MAX_SIZE + 1)) for i in range(1000)) / 1000


def loopback_address(peer_id, port):
    """A packed PeerAddress whose public and local endpoints are 127.0.0.1:port."""
    return pack_address(peer_id, ("127.0.0.1", port), ("127.0.0.1", port)).hex()


class Driver(LineProcess):
    """One ppndriver process: lines out through a queue, commands in."""

    def __init__(self, nat_port):
        argv = EMULATOR + [DRIVER, "--nat", f"127.0.0.1:{nat_port}", "--stun", "127.0.0.1:80",
                           "--login-interval", "100", "--logout-interval", "100"]
        super().__init__(argv)
        self.port = int(self.expect("STARTED").split()[1])
        address = bytes.fromhex(self.expect("ADDRESS").split()[1])
        self.id = address[2:22]
        self.id_hex = self.id.hex()

    def check_line(self, line, prefix):
        if line.startswith("BAD ") or (line.startswith("ERROR ") and not prefix.startswith("ERROR")):
            raise AssertionError(f"{line} while waiting for {prefix!r}")

    def events(self):
        return [line for line in self.seen if line.startswith("EVENT ")]

    def stats(self):
        self.say("STATS")
        values = {}
        for _ in range(12):
            _, key, value = self.expect("STAT ").split()
            values[int(key)] = int(value)
        return values

    def stop(self):
        if self.proc.poll() is None:
            self.say("STOP")
            self.expect("STOPPED")
            self.proc.wait(WAIT)
        return self.proc.returncode


class PpnProcesses(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.nat = NatServer(PeerRegistry())
        cls.nat.start()

    @classmethod
    def tearDownClass(cls):
        cls.nat.stop()

    def setUp(self):
        self.nat.reset()
        self.drivers = []
        self.relays = []

    def tearDown(self):
        for r in self.relays:
            r.stop()
        for d in self.drivers:
            if d.proc.poll() is None:
                d.proc.kill()
                d.proc.wait()
            d.proc.stdin.close()
            d.proc.stdout.close()

    def start_pair(self, **knobs):
        """Two drivers and a relay between them; a connected to b through it."""
        a, b = Driver(self.nat.port), Driver(self.nat.port)
        self.drivers += [a, b]
        relay = RelayPair(a.port, b.port, **knobs)
        self.relays.append(relay)
        a.say(f"CONNECT {loopback_address(b.id, relay.ports['a'])} 1")
        self.assertEqual(a.expect("EVENT "), f"EVENT 1 1 {b.id_hex}")
        self.assertEqual(b.expect("EVENT "), f"EVENT 4 1 {a.id_hex}")
        return a, b, relay

    def expect(self, sender, receiver, count, seed):
        receiver.say(f"EXPECT {sender.id_hex} {count} {seed} {MAX_SIZE}")
        receiver.expect("EXPECTING ")

    def burst(self, sender, receiver, count, seed):
        """Queues the messages; answers their total size, smallest and largest."""
        sender.say(f"BURST {receiver.id_hex} {count} {seed} {MAX_SIZE}")
        _, queued, size, smallest, largest = sender.expect("BURSTQUEUED ").split()
        self.assertEqual(int(queued), count)
        return int(size), int(smallest), int(largest)

    def done(self, receiver, count, timeout):
        _, got, size, ms = receiver.expect("DONE ", timeout).split()
        self.assertEqual(int(got), count)
        return int(size), int(ms)

    def test_ten_thousand_messages_raw_datagrams_and_close(self):
        a, b, relay = self.start_pair(seed=1)
        self.expect(a, b, 10000, 7)
        queued, smallest, largest = self.burst(a, b, 10000, 7)
        self.assertEqual((smallest, largest), (1, MAX_SIZE))
        size, ms = self.done(b, 10000, 120)
        self.assertEqual(size, queued)
        print(f"\n10000 messages, {size} bytes in {ms} ms through the relay", file=sys.stderr)
        self.assertEqual(sum(1 for line in b.seen if line.startswith("VERIFIED ")), 10)

        a.say(f"SEND {b.id_hex} 2 raw from a")
        self.assertEqual(b.expect("MESSAGE 2 "), f"MESSAGE 2 {a.id_hex} 10 raw from a")
        b.say(f"SEND {a.id_hex} 2 raw from b")
        self.assertEqual(a.expect("MESSAGE 2 "), f"MESSAGE 2 {b.id_hex} 10 raw from b")
        sa, sb = a.stats(), b.stats()
        self.assertEqual((sa[274], sa[273], sb[274], sb[273]), (10, 10, 10, 10))
        self.assertGreater(sa[258], size)
        self.assertGreater(sb[257], size)
        self.assertGreater(sb[261], 0)

        # Nothing came twice: no reliable message beyond the expected ones.
        self.assertFalse([line for line in b.seen if line.startswith("MESSAGE 1 ")])
        a.say(f"CLOSE {b.id_hex} 1")
        self.assertEqual(b.expect("EVENT ", 10), f"EVENT 5 1 {a.id_hex}")
        self.assertEqual(b.events(), [f"EVENT 4 1 {a.id_hex}", f"EVENT 5 1 {a.id_hex}"])
        self.assertEqual(a.stop(), 0)
        self.assertEqual(b.stop(), 0)
        self.assertEqual(a.events(), [f"EVENT 1 1 {b.id_hex}"])
        self.assertEqual(relay.snapshot()["dropped"], 0)

    def test_loss_duplication_and_reordering_both_ways(self):
        a, b, relay = self.start_pair(seed=5, drop=0.05, duplicate=0.05, reorder=0.05)
        count = max(1, int(LOSSY_BYTES / 2 / MEAN_SIZE))
        self.expect(a, b, count, 21)
        self.expect(b, a, count, 22)
        self.burst(a, b, count, 21)
        self.burst(b, a, count, 22)
        budget = 30 + LOSSY_BYTES / 100_000
        to_b, ms_b = self.done(b, count, budget)
        to_a, ms_a = self.done(a, count, budget)
        print(f"\nwith 5 % loss: {to_b} bytes in {ms_b} ms, {to_a} bytes in {ms_a} ms", file=sys.stderr)
        stats = relay.snapshot()
        self.assertGreater(stats["dropped"], 0)
        self.assertGreater(stats["duplicated"], 0)
        self.assertGreater(stats["reordered"], 0)
        self.assertEqual(a.stop(), 0)
        self.assertEqual(b.stop(), 0)

    # The receiving side stops while data is still coming; the sender hears
    # nothing more and times its connection out, then stops cleanly too.
    def test_stop_while_sending(self):
        a, b, _ = self.start_pair(seed=9)
        self.expect(a, b, 2000, 31)
        self.burst(a, b, 2000, 31)
        b.expect("VERIFIED 1000", 60)
        self.assertEqual(b.stop(), 0)
        self.assertEqual(a.expect("EVENT ", 20), f"EVENT 3 1 {b.id_hex}")
        self.assertEqual(a.stop(), 0)


def main():
    global DRIVER, EMULATOR, LOSSY_BYTES
    argv = sys.argv[1:]
    split = argv.index("--")
    options, EMULATOR = argv[:split], argv[split + 1:]
    DRIVER = options[options.index("--driver") + 1]
    if "--lossy-bytes" in options:
        LOSSY_BYTES = int(options[options.index("--lossy-bytes") + 1])
    pattern = ["-k", options[options.index("-k") + 1]] if "-k" in options else []
    unittest.main(argv=[sys.argv[0], "-v"] + pattern)


if __name__ == "__main__":
    main()
