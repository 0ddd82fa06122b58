#!/usr/bin/env python3
"""Two UH cores in two Wine processes punch to each other through the NAT
server fixture, which runs inside this test process.

usage: punch_processes.py --driver uhdriver.exe -- EMULATOR... (the Wine
wrapper and its arguments, as CTest's cross-compiling emulator)
"""
import os
import socket
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
from line_process import LineProcess  # noqa: E402
from nat_server import NatServer, pack_address  # noqa: E402
from registry import PeerRegistry  # noqa: E402

EMULATOR = []
DRIVER = None
WAIT = 60  # seconds for any one expected line; COM start-up under Wine can be slow


def unpack_address(hex_text):
    data = bytes.fromhex(hex_text)
    assert len(data) == 34 and data[:2] == b"\x14\x00", hex_text
    public = (socket.inet_ntoa(data[22:26]), struct.unpack(">H", data[26:28])[0])
    local = (socket.inet_ntoa(data[30:34]), struct.unpack(">H", data[28:30])[0])
    return data[2:22], public, local


class Driver(LineProcess):
    """One uhdriver process: lines out through a queue, commands in."""

    def __init__(self, nat_port, *options):
        argv = EMULATOR + [DRIVER, "--nat", f"127.0.0.1:{nat_port}", "--stun", "127.0.0.1:80",
                           "--login-interval", "100", "--logout-interval", "100"] + list(options)
        super().__init__(argv)
        self.port = int(self.expect("STARTED").split()[1])
        self.address_hex = self.expect("LOGGEDIN").split()[1]
        self.id, self.public, self.local = unpack_address(self.address_hex)

    def stop(self):
        if self.proc.poll() is None:
            self.say("STOP")
            self.expect("STOPPED")
            self.proc.wait(WAIT)
        return self.proc.returncode


class PunchProcesses(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.registry = PeerRegistry()
        cls.nat = NatServer(cls.registry)
        cls.nat.start()

    @classmethod
    def tearDownClass(cls):
        cls.nat.stop()

    def setUp(self):
        self.nat.reset()
        self.drivers = []

    def tearDown(self):
        for d in self.drivers:
            if d.proc.poll() is None:
                d.proc.kill()
                d.proc.wait()
            d.proc.stdin.close()
            d.proc.stdout.close()

    def start(self, *options):
        d = Driver(self.nat.port, *options)
        self.drivers.append(d)
        return d

    def punch(self, a, b, tag):
        a.say(f"PUNCH {b.address_hex} {tag}")
        result = a.expect("PUNCH ").split()
        incoming = b.expect("INCOMING ").split()
        return result, incoming

    def check_punched(self, a, b, tag):
        result, incoming = self.punch(a, b, tag)
        self.assertEqual(result[1:3], ["1", str(tag)])
        peer_id, public, _ = unpack_address(result[3])
        self.assertEqual(peer_id, b.id)
        self.assertEqual(public, ("127.0.0.1", b.port))
        in_id, in_public, _ = unpack_address(incoming[1])
        self.assertEqual(in_id, a.id)
        self.assertEqual(in_public, ("127.0.0.1", a.port))
        # The path is open both ways for raw datagrams.
        a.say(f"SEND {b.address_hex} hello from a")
        self.assertTrue(b.expect("DATAGRAM ").endswith(" hello from a"))
        b.say(f"SEND {incoming[1]} hello from b")
        self.assertTrue(a.expect("DATAGRAM ").endswith(" hello from b"))

    def test_logged_in_peers_are_in_the_registry(self):
        a = self.start()
        self.assertEqual(a.public, ("127.0.0.1", a.port))
        self.assertEqual(a.local[1], a.port)
        record = self.registry.lookup(a.id)
        self.assertIsNotNone(record)
        self.assertEqual(record.public, ("127.0.0.1", a.port))
        self.assertIn(f"UPNP Add {a.local[0]} {a.port} 1 {a.port}", a.seen)
        self.assertEqual(a.stop(), 0)
        self.assertEqual(a.seen[-3:], [f"UPNP Remove {a.port} 1", "UPNP Release", "STOPPED"])
        self.assertIsNone(self.registry.lookup(a.id))
        self.assertEqual(self.nat.count(code=3, action="reply"), 1)

    # On loopback the direct punch usually reaches b before the introduction
    # does; b then answers no 19. test_uh_core runs 19 and 20 through the
    # server without that race.
    def test_punch_with_the_server_introducing(self):
        a, b = self.start(), self.start()
        self.check_punched(a, b, 5)
        self.assertGreaterEqual(self.nat.count(code=19, action="forward", to=f"127.0.0.1:{b.port}"), 1)
        self.assertEqual(self.nat.count(code=20, action="forward"), self.nat.count(code=20))

    def test_punch_without_forwarding_goes_direct(self):
        self.nat.set_knobs(drop_forward=True)
        a, b = self.start(), self.start()
        self.check_punched(a, b, 6)
        self.assertGreaterEqual(self.nat.count(code=19, action="drop"), 1)
        self.assertEqual(self.nat.count(action="forward"), 0)

    def test_unanswered_punch_gives_up_after_ten_tries(self):
        a = self.start()
        silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        silent.bind(("127.0.0.1", 0))
        silent.settimeout(WAIT)
        endpoint = ("127.0.0.1", silent.getsockname()[1])
        ghost = pack_address(b"GHOST.GHOST.GHOST.GH", endpoint, endpoint).hex()
        a.say(f"PUNCH {ghost} 9")
        punches = []
        for _ in range(10):
            data, _ = silent.recvfrom(2048)
            punches.append(data[12])
        self.assertEqual(punches, [17] * 10)
        result = a.expect("PUNCH ").split()
        self.assertEqual(result[1:3], ["2", "9"])
        silent.settimeout(1.0)
        with self.assertRaises(socket.timeout):
            silent.recvfrom(2048)  # nothing after the tenth
        silent.close()
        self.assertEqual(self.nat.count(code=19, action="unknown-peer"), 10)

    def test_unanswered_logout_is_sent_three_times(self):
        a = self.start()
        self.nat.set_knobs(silent=[3])
        self.assertEqual(a.stop(), 0)
        self.assertEqual(self.nat.count(code=3), 3)


def main():
    global DRIVER, EMULATOR
    argv = sys.argv[1:]
    split = argv.index("--")
    options, EMULATOR = argv[:split], argv[split + 1:]
    DRIVER = options[options.index("--driver") + 1]
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
