#!/usr/bin/env python3
"""The swarm fixture (NAT server and tracker in one process) through its
real sockets: peers log in over UDP, announce and ask over HTTP."""
import http.client
import json
import os
import socket
import struct
import subprocess
import sys
import time
import unittest

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")
sys.path.insert(0, FIXTURES)
import bencoding  # noqa: E402
from nat_server import pack_address  # noqa: E402

MAGIC = 0xA1D913FC
HASH = b"0123456789abcdef0123456789abcdef"


def login_datagram(peer_id, local_ip, local_port, nat_type):
    address = pack_address(peer_id, ("0.0.0.0", 0), (local_ip, local_port))
    return struct.pack("<HBBII", 48, 1, 1, MAGIC, 0) + bytes([1, 0, nat_type, 0]) + address


class Swarm:
    def __init__(self):
        self.proc = subprocess.Popen([sys.executable, os.path.join(FIXTURES, "swarm.py")],
                                     stdout=subprocess.PIPE, text=True)
        self.env = json.loads(self.proc.stdout.readline())
        self.tracker_port = int(self.env["TOVRA_TRACKER_PORT"])
        self.nat_port = int(self.env["TOVRA_NAT_PORT"])

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)

    def http(self, method, path, body=None, port=None):
        conn = http.client.HTTPConnection("127.0.0.1", port or self.tracker_port, timeout=10)
        conn.request(method, path, body=body)
        answer = conn.getresponse()
        data = answer.read()
        conn.close()
        return answer.status, answer.reason, data

    def control(self, **knobs):
        status, _, data = self.http("POST", "/_control", json.dumps(knobs).encode())
        assert status == 200, data
        return json.loads(data)

    def state(self):
        return json.loads(self.http("GET", "/_state")[2])

    def ask(self, message, path="/cgi-bin/vod.fcgi"):
        return self.http("POST", path, bencoding.encode(message))

    def login(self, peer_id, local_ip, local_port, nat_type=3):
        """Logs a peer in from a socket of its own; answers that socket."""
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("127.0.0.1", 0))
        sock.settimeout(5)
        sock.sendto(login_datagram(peer_id, local_ip, local_port, nat_type),
                    ("127.0.0.1", self.nat_port))
        reply, _ = sock.recvfrom(2048)
        assert reply[12] == 2
        return sock


class SwarmFixtureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.swarm = Swarm()

    @classmethod
    def tearDownClass(cls):
        cls.swarm.close()

    def setUp(self):
        self.swarm.control(reset=True)
        self.swarm.http("POST", "/_control", b'{"reset": true}',
                        port=int(self.swarm.env["TOVRA_NAT_CONTROL_PORT"]))
        self.sockets = []

    def tearDown(self):
        for s in self.sockets:
            s.close()

    def join(self, peer_id, local_port, nat_type=3):
        sock = self.swarm.login(peer_id, "192.0.2.7", local_port, nat_type)
        self.sockets.append(sock)
        status, reason, data = self.swarm.ask({"msg": "peeron", "cid": 7, "pid": peer_id,
                                               "hash": HASH})
        self.assertEqual((status, bencoding.decode(data)), (200, {b"result": b"success"}))
        return sock.getsockname()[1]

    def reqpeer(self, pid=b"asker-peer-id-000000", nums=30, path="/cgi-bin/vod.fcgi"):
        status, reason, data = self.swarm.ask({"msg": "reqpeer", "cid": 7, "pid": pid,
                                               "hash": HASH, "nums": nums}, path)
        return status, reason, data

    def test_reqpeer_entries_carry_the_endpoints_each_peer_logged_in_with(self):
        a, b = b"peer-a-0000000000000", b"peer-b-0000000000000"
        public_a = self.join(a, 5001, nat_type=2)
        public_b = self.join(b, 5002)
        self.swarm.control(seeds=[b.decode()])
        status, reason, data = self.reqpeer(pid=a)
        self.assertEqual(status, 200)
        self.assertTrue(reason)
        reply = bencoding.decode(data)
        self.assertEqual(reply[b"result"], b"success")
        self.assertEqual(reply[b"peer"], [{b"pid": b, b"wip": b"127.0.0.1", b"wport": public_b,
                                           b"lip": b"192.0.2.7", b"lport": 5002,
                                           b"gwtype": 3, b"nodetype": 1}])
        # Keys are written in byte order, also inside the entries.
        self.assertEqual(bencoding.encode(reply), data)
        entries = bencoding.decode(self.reqpeer()[2])[b"peer"]
        self.assertEqual([(e[b"pid"], e[b"wport"], e[b"gwtype"], e[b"nodetype"]) for e in entries],
                         [(a, public_a, 2, 0), (b, public_b, 3, 1)])
        self.assertEqual(len(bencoding.decode(self.reqpeer(nums=1)[2])[b"peer"]), 1)

    def test_only_logged_in_announced_peers_of_the_hash_are_handed_out(self):
        a, b = b"peer-a-0000000000000", b"peer-b-0000000000000"
        self.join(a, 5001)
        self.swarm.login(b, "192.0.2.7", 5002).close()   # logged in, never announced
        self.assertEqual(bencoding.decode(self.reqpeer()[2])[b"peer"][0][b"pid"], a)
        self.swarm.ask({"msg": "peeroff", "cid": 7, "pid": a, "hash": HASH})
        self.assertEqual(bencoding.decode(self.reqpeer()[2])[b"peer"], [])
        self.swarm.ask({"msg": "peeron", "cid": 7, "pid": a, "hash": b"f" * 32})
        self.assertEqual(bencoding.decode(self.reqpeer()[2])[b"peer"], [])

    def test_reqfileinfo_answers_known_files_on_any_path(self):
        self.swarm.control(files={HASH.decode(): [1234567, 500000]})
        status, _, data = self.swarm.ask({"msg": "reqfileinfo", "hash": HASH}, "/any/path")
        self.assertEqual(bencoding.decode(data),
                         {b"result": b"success", b"size": 1234567, b"bitrate": 500000})
        status, _, data = self.swarm.ask({"msg": "reqfileinfo", "hash": b"e" * 32})
        self.assertEqual(bencoding.decode(data)[b"result"], b"unknown file")
        state = self.swarm.state()
        self.assertEqual(state["counts"], {"reqfileinfo": 2})
        self.assertEqual(state["requests"][0]["path"], "/any/path")

    def test_knobs_fail_redirect_pwd_empty_and_extra_entries(self):
        self.join(b"peer-a-0000000000000", 5001)
        self.swarm.control(fail={"reqpeer": 2})
        self.assertEqual([self.reqpeer()[0] for _ in range(3)], [500, 500, 200])
        self.swarm.control(redirect=["http://127.0.0.1:1/other", 1])
        self.assertEqual(bencoding.decode(self.reqpeer()[2]),
                         {b"result": b"success", b"redirect": b"http://127.0.0.1:1/other"})
        self.assertIn(b"peer", bencoding.decode(self.reqpeer()[2]))
        self.swarm.control(pwd="secret", empty_peers=True,
                           extra_peers=[{"pid": "x", "wip": "1.2.3.4"}])
        self.assertEqual(bencoding.decode(self.reqpeer()[2]),
                         {b"result": b"success", b"pwd": b"secret",
                          b"peer": [{b"pid": b"x", b"wip": b"1.2.3.4"}]})
        self.swarm.control(result={"reqpeer": "failure"})
        self.assertEqual(bencoding.decode(self.reqpeer()[2])[b"result"], b"failure")

    def test_delay_and_wait(self):
        self.swarm.control(delay_ms={"peeron": 300})
        began = time.monotonic()
        self.swarm.ask({"msg": "peeron", "cid": 1, "pid": b"p" * 20, "hash": HASH})
        self.assertGreaterEqual(time.monotonic() - began, 0.3)
        self.assertEqual(self.swarm.http("GET", "/_wait?msg=peeron&n=1&timeout=5")[2], b"1")
        self.assertEqual(self.swarm.http("GET", "/_wait?msg=reqpeer&n=1&timeout=0.2")[2], b"0")

    def test_bad_bodies_and_unknown_messages(self):
        self.assertEqual(self.swarm.http("POST", "/t", b"not bencode")[0], 400)
        status, _, data = self.swarm.ask({"msg": "hello"})
        self.assertEqual(bencoding.decode(data), {b"result": b"unknown msg"})
        with self.assertRaises(AssertionError):
            self.swarm.control(no_such_knob=1)


class ContentFixtureTest(unittest.TestCase):
    """The content server in the same process: its own port, and the
    tracker's for "getad" and "getplaylist"."""

    @classmethod
    def setUpClass(cls):
        cls.swarm = Swarm()
        cls.port = int(cls.swarm.env["TOVRA_CONTENT_PORT"])

    @classmethod
    def tearDownClass(cls):
        cls.swarm.close()

    def setUp(self):
        self.control(reset=True)

    def http(self, method, path, body=None):
        return self.swarm.http(method, path, body, port=self.port)

    def control(self, **knobs):
        return self.http("POST", "/_control", json.dumps(knobs).encode())

    def test_keepalive_modes_in_turn_the_last_repeating(self):
        self.assertEqual(self.control(keepalive=["ok", "OK", "refuse", "500", "reset"],
                                      reason="full")[0], 200)
        expected = [(200, b"<result>ok</result>"), (200, b"<result>OK</result>"),
                    (200, b"<result>no</result><reason>full</reason>"),
                    (500, b"server failed\n"), None, None]
        for turn, want in enumerate(expected):
            with self.subTest(turn=turn):
                if want is None:
                    with self.assertRaises((ConnectionError, http.client.HTTPException)):
                        self.http("GET", f"/session?turn={turn}")
                else:
                    status, reason, data = self.http("GET", f"/session?turn={turn}")
                    self.assertEqual((status, data), want)
                    self.assertTrue(reason)
        self.assertEqual(self.http("GET", "/_wait?route=session&n=6&timeout=5")[2], b"6")
        self.assertEqual(self.http("GET", "/_wait?route=login&n=1&timeout=0.2")[2], b"0")

    def test_reset_and_refused_knobs(self):
        status, _, data = self.control(login="fail")
        self.assertEqual((status, json.loads(data)["login"]), (200, "fail"))
        status, _, data = self.control(no_such_knob=1)
        self.assertEqual((status, data), (400, b"unknown knobs ['no_such_knob']\n"))
        self.assertEqual(self.http("POST", "/login", b"user=a&pass=b")[2],
                         b"<login>fail</login><reason>session refused</reason>")
        self.assertEqual(self.http("POST", "/cgi", b"not bencode")[0], 400)
        state = json.loads(self.http("GET", "/_state")[2])
        self.assertEqual(state["counts"], {"login": 1, "": 1})
        self.control(reset=True)
        state = json.loads(self.http("GET", "/_state")[2])
        self.assertEqual((state["counts"], state["knobs"]["login"]), ({}, "success"))

    def test_tracker_hands_getad_and_getplaylist_over(self):
        self.control(playlist="<s>only|1</s>", ad="missing")
        status, _, data = self.swarm.ask({"msg": "getplaylist", "cid": 3})
        self.assertEqual((status, bencoding.decode(data)),
                         (200, {b"result": b"success", b"playlist": b"<s>only|1</s>"}))
        self.assertEqual(bencoding.decode(self.swarm.ask({"msg": "getad", "cid": 3})[2]),
                         {b"result": b"success"})
        state = json.loads(self.http("GET", "/_state")[2])
        self.assertEqual(state["counts"], {"getplaylist": 1, "getad": 1})
        self.assertEqual(self.swarm.state()["counts"], {})


if __name__ == "__main__":
    unittest.main()
