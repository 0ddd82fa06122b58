#!/usr/bin/env python3
"""The local players with real clients: tests/tools/livefeed runs a feeder
over a piece file of tests/tools/livepieces.py (a stand-in engine), and
ffprobe/ffmpeg or a raw socket client of ours read the URL it announces.

usage: live_players.py --feed livefeed.exe [-k PATTERN] -- EMULATOR...
"""
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import livepieces  # noqa: E402
from line_process import WAIT, LineProcess  # noqa: E402
from script_args import split_script_args  # noqa: E402

EMULATOR = []
FEED = None
FIRST = 500
SECONDS = 20


def records_of(pieces):
    out = []
    for piece in pieces:
        at = 4
        while at + 4 <= len(piece):
            n = struct.unpack("<I", piece[at:at + 4])[0]
            out.append(piece[at + 4:at + 4 + n])
            at += 4 + n
    return out


def player_header(header):
    title_length = struct.unpack("<H", header[8:10])[0]
    return header[10 + title_length:]


class RawClient:
    """A client that sends one request and reads the reply, bounded."""

    def __init__(self, port, request=None, receive_buffer=None):
        self.sock = socket.socket()
        if receive_buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(WAIT)
        self.sock.connect(("127.0.0.1", port))
        self.sock.sendall(request or b"GET /1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        self.data = b""

    def read_until(self, size):
        while len(self.data) < size:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise AssertionError(f"connection closed after {len(self.data)} bytes")
            self.data += chunk
        return self.data

    def reply_and_body(self, body_size):
        while b"\r\n\r\n" not in self.data:
            self.read_until(len(self.data) + 1)
        end = self.data.index(b"\r\n\r\n") + 4
        self.read_until(end + body_size)
        return self.data[:end].decode("latin-1"), self.data[end:]

    def close(self):
        self.sock.close()


def port_of(url):
    return int(re.search(r":(\d+)", url.split("//", 1)[1]).group(1))


class PlayerCase(unittest.TestCase):
    kind = None

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="live-players-")
        cls.path = os.path.join(cls.scratch, f"{cls.kind}.lpc")
        livepieces.make_kind(cls.path, cls.kind, FIRST, seconds=SECONDS)
        _first, _id, cls.header, cls.pieces = livepieces.read(cls.path)
        cls.records = records_of(cls.pieces)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.processes = []
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        for p in self.processes:
            p.stop()

    def feed(self, *options):
        p = LineProcess(EMULATOR + [FEED, "Z:" + self.path] + list(options))
        self.processes.append(p)
        url = p.expect("READY").split()[1]
        return p, url

    def client(self, url, **kw):
        c = RawClient(port_of(url), **kw)
        self.clients.append(c)
        return c

    def ffprobe(self, url, *args):
        run = subprocess.run(["ffprobe", "-v", "error", "-rw_timeout", "20000000", *args, url],
                             capture_output=True, text=True, timeout=WAIT)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout

    def codecs(self, url):
        return set(self.ffprobe(url, "-show_entries", "stream=codec_name", "-of",
                                "default=nw=1:nk=1").split())


class Flv(PlayerCase):
    kind = "flv"

    def expected_from_key(self, body):
        """The bytes a client must get from the key frame it started at: 4
        zero bytes, that tag without its previous size, then every record."""
        flv_header = player_header(self.header)[8:]
        self.assertEqual(body[:9], flv_header)
        self.assertEqual(body[9:13], b"\0\0\0\0")
        for k, record in enumerate(self.records):
            if record[4] == 9 and record[15] >> 4 == 1 and body[13:13 + len(record) - 4] == record[4:]:
                return flv_header + b"\0\0\0\0" + record[4:] + b"".join(self.records[k + 1:])
        self.fail("a client did not start at a video key frame")

    def test_two_clients_get_every_record_from_a_key_frame(self):
        _p, url = self.feed("--rate", "4")
        first, second = self.client(url), self.client(url)
        for c in (first, second):
            reply, body = c.reply_and_body(200000)
            self.assertEqual(reply, "HTTP/1.1 200 OK\r\nServer: Kelo Simple Http Server\r\n"
                                    "Content-Length: 2147483647\r\n"
                                    "Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
                                    "Content-Type: video/x-flv\r\n\r\n")
            expected = self.expected_from_key(body)
            self.assertEqual(body, expected[:len(body)])

    def test_late_joiner_starts_at_a_key_frame_and_ffmpeg_decodes(self):
        _p, url = self.feed("--rate", "2")
        early = self.client(url)
        early.reply_and_body(50000)  # the stream is flowing: the next client joins late
        packets = self.ffprobe(url, "-select_streams", "v", "-show_entries", "packet=flags",
                               "-read_intervals", "%+#1", "-of", "csv=p=0")
        self.assertTrue(packets.split()[0].startswith("K"), packets)
        run = subprocess.run(["ffmpeg", "-v", "error", "-rw_timeout", "20000000", "-i", url,
                              "-t", "5", "-f", "null", "-"], capture_output=True, text=True, timeout=WAIT)
        self.assertEqual((run.returncode, run.stderr), (0, ""))

    def test_stop_ends_a_push_to_a_client_that_never_reads(self):
        p, url = self.feed("--rate", "0")
        c = self.client(url, receive_buffer=4096)
        c.reply_and_body(0)
        # With everything released at once, the pushes fill the client's
        # window long before the feeder could reach the end.
        p.say("STOP")
        p.expect("STOPPED", timeout=WAIT)
        self.assertEqual(p.proc.wait(WAIT), 0)
        self.assertNotIn("END", p.seen)


class RealMedia(PlayerCase):
    kind = "real"

    def test_ffprobe_finds_both_streams(self):
        _p, url = self.feed("--rate", "2")
        self.assertEqual(self.codecs(url), {"rv20", "ac3"})

    def test_audio_comes_before_the_first_video_key_packet(self):
        _p, url = self.feed("--rate", "4")
        video = struct.unpack("<H", player_header(self.header)[8:10])[0]
        file_header = player_header(self.header)[10:]
        reply, body = self.client(url).reply_and_body(len(file_header) + 60000)
        self.assertRegex(reply, r"^HTTP/1\.1 200 OK\r\nDate: \w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT\r\n"
                                r"Server: Kelo Simple Http Server\r\nContent-Length: 2147483647\r\n"
                                r"Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
                                r"Content-Type: application/vnd.rn-realmedia\r\n\r\n$")
        self.assertEqual(body[:len(file_header)], file_header)
        at, seen = len(file_header), []
        while at + 12 <= len(body):
            length = struct.unpack(">H", body[at + 2:at + 4])[0]
            seen.append((struct.unpack(">H", body[at + 4:at + 6])[0], body[at + 11]))
            at += length
        first_video = next(i for i, (stream, _f) in enumerate(seen) if stream == video)
        self.assertEqual(seen[first_video][1], 2)
        self.assertGreater(first_video, 0, seen[:5])
        self.assertTrue(all(stream != video for stream, _f in seen[:first_video]))


class Vlc(PlayerCase):
    kind = "vlch"

    def test_exact_reply_and_ffprobe_finds_mpegts(self):
        _p, url = self.feed("--rate", "2")
        self.assertTrue(url.startswith("vlch://127.0.0.1:"), url)
        reply, body = self.client(url).reply_and_body(188 * 7)
        self.assertEqual(reply, "HTTP/1.0 200 OK\r\nContent-type: application/octet-stream\r\n"
                                "Cache-Control: no-cache\r\n\r\n")
        self.assertIn(body[:188 * 7], self.records)
        http = "http://" + url.split("//", 1)[1] + "/"
        self.assertIn("mpegts", self.ffprobe(http, "-show_entries", "format=format_name",
                                             "-of", "default=nw=1:nk=1"))


WMSP_FIRST = b"GET /1.wmv HTTP/1.0\r\nUser-Agent: NSPlayer/7.0\r\nPragma: no-cache,rate=1.000000\r\n\r\n"
WMSP_SWITCH = (b"GET /1.wmv HTTP/1.0\r\nUser-Agent: NSPlayer/7.0\r\n"
               b"Pragma: stream-switch-count=2\r\nPragma: stream-switch-entry=ffff:1:0 ffff:2:0\r\n\r\n")


def wmsp_reply(kind, length=None):
    return (r"HTTP/1\.0 200 OK\r\nServer: Rex/11\.0\.5721\.5145\r\nCache-Control: no-cache\r\n"
            r"Pragma: no-cache\r\nPragma: client-id=\d+\r\nPragma: features=\"broadcast\"\r\n"
            + (r"Content-Type: application/vnd\.ms\.wms-hdr\.asfv1\r\nContent-Length: " + str(length)
               + r"\r\n" if kind == "header" else r"Content-Type: application/x-mms-framed\r\n")
            + r"Connection: Keep-Alive\r\n\r\n$")


class WmPush:
    """The push player, framed ("mmsp") and unframed ("wmv2")."""

    def asf(self):
        """(ASF header, [data packets]) as the client must see them."""
        header = player_header(self.header)
        if self.kind == "mmsp":
            return header[4:], [r[4:] for r in self.records]
        return header, self.records

    def read_packet(self, client, at):
        data = client.read_until(at + 12)
        kind, length, location, incarnation, flags, size = struct.unpack("<2sHIBBH", data[at:at + 12])
        data = client.read_until(at + 4 + length)
        return kind, length, location, incarnation, flags, size, data[at + 12:at + 4 + length]

    def check_header_packet(self, client, at):
        asf_header, _ = self.asf()
        kind, length, location, incarnation, flags, size, payload = self.read_packet(client, at)
        self.assertEqual((kind, length, location, incarnation, flags, size),
                         (b"$H", len(asf_header) + 8, 0, 0, 12, len(asf_header) + 8))
        self.assertEqual(payload, asf_header)
        return at + 4 + length

    def test_ffprobe_finds_wmv2_and_wmav2_and_ffmpeg_decodes(self):
        _p, url = self.feed("--rate", "4")
        mmsh = "mmsh://" + url.split("//", 1)[1]
        self.assertEqual(self.codecs(mmsh), {"wmv2", "wmav2"})
        run = subprocess.run(["ffmpeg", "-v", "error", "-i", mmsh, "-t", "3", "-f", "null", "-"],
                             capture_output=True, text=True, timeout=WAIT)
        # The push player does not wait for a key frame: a client joining in
        # the middle of a group of pictures is told so, and decodes on.
        complaints = [l for l in run.stderr.splitlines() if "first frame is no keyframe" not in l]
        self.assertEqual((run.returncode, complaints), (0, []))

    def test_header_then_second_request_streams_numbered_packets(self):
        _p, url = self.feed("--rate", "4")
        asf_header, packets = self.asf()
        c = self.client(url, request=WMSP_FIRST)
        reply, _ = c.reply_and_body(0)
        self.assertRegex(reply, wmsp_reply("header", len(asf_header) + 12))
        at = self.check_header_packet(c, len(reply))
        c.sock.sendall(WMSP_FIRST)
        c.read_until(at + 1)
        while b"\r\n\r\n" not in c.data[at:]:
            c.read_until(len(c.data) + 1)
        end = c.data.index(b"\r\n\r\n", at) + 4
        self.assertRegex(c.data[at:end].decode("latin-1"), wmsp_reply("streaming"))
        at = self.check_header_packet(c, end)
        first = None
        for expected_location in range(1, 9):
            kind, length, location, incarnation, flags, size, payload = self.read_packet(c, at)
            self.assertEqual((kind, location, incarnation, flags, size),
                             (b"$D", expected_location, 0, 0, length))
            self.assertEqual(length, len(payload) + 8)
            first = packets.index(payload) if first is None else first
            self.assertEqual(payload, packets[first + expected_location - 1])
            at += 4 + length

    def test_stop_ends_a_push_to_a_client_that_never_reads(self):
        p, url = self.feed("--rate", "0", "--no-pacing")
        self.client(url, request=WMSP_SWITCH, receive_buffer=4096).reply_and_body(0)
        p.say("STOP")
        p.expect("STOPPED", timeout=WAIT)
        self.assertEqual(p.proc.wait(WAIT), 0)
        self.assertNotIn("END", p.seen)

    def test_stream_switch_first_gets_the_stream_at_once(self):
        _p, url = self.feed("--rate", "4")
        c = self.client(url, request=WMSP_SWITCH)
        reply, _ = c.reply_and_body(0)
        self.assertRegex(reply, wmsp_reply("streaming"))
        at = self.check_header_packet(c, len(reply))
        kind, _length, location, *_rest = self.read_packet(c, at)
        self.assertEqual((kind, location), (b"$D", 1))


class WmPushUnframed(WmPush, PlayerCase):
    kind = "wmv2"


class WmPushFramed(WmPush, PlayerCase):
    kind = "mmsp"


class WmWriter(PlayerCase):
    """The writer player over the writer runtime stand-in, whose sink hands
    each client u32 inputs, then u16 stream | u64 time | u32 flags | u32
    length | data per written sample."""
    kind = "wmv"

    def entries(self, client, count):
        at = 4
        for _ in range(count):
            stream, time, flags, length = struct.unpack("<HQII", client.read_until(at + 18)[at:at + 18])
            yield stream, time, flags, client.read_until(at + 18 + length)[at + 18:at + 18 + length]
            at += 18 + length

    def test_first_clean_points_are_written_from_time_zero_with_a_discontinuity(self):
        p, url = self.feed("--rate", "0")
        self.assertTrue(url.endswith("/1.wmv"), url)
        c = self.client(url)
        self.assertEqual(struct.unpack("<I", c.read_until(4)[:4])[0], 2)
        # The channel begins at time 0, which is a sample time like any other.
        entries = list(self.entries(c, 5))
        base = int(entries[0][3][1:])
        self.assertEqual([e[:3] for e in entries],
                         [(1, 0, 3), (2, 0, 3), (1, 1_000_000, 0), (1, 2_000_000, 0), (2, 2_000_000, 1)])
        for stream, time, _flags, data in entries:
            self.assertEqual(data, b"%s%d" % (b"va"[stream - 1:stream], base + time))
        p.say("STOP")
        p.expect("STOPPED", timeout=WAIT)
        self.assertEqual(p.proc.wait(WAIT), 0)


class Mends(unittest.TestCase):
    """Hand-made piece files for what the players refuse."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="live-mends-")
        self.processes, self.clients = [], []

    def tearDown(self):
        for c in self.clients:
            c.close()
        for p in self.processes:
            p.stop()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def feed(self, tag, player_header, records, *options):
        path = os.path.join(self.scratch, "pieces.lpc")
        header = tag + struct.pack("<IH", 0, 1) + b"T" + player_header
        # An empty first piece starts the player; the records follow in the
        # second, which --rate releases later.
        piece = struct.pack("<I", 1) + b"".join(struct.pack("<I", len(r)) + r for r in records)
        livepieces.write(path, FIRST, 1, header, [struct.pack("<I", 1), piece])
        p = LineProcess(EMULATOR + [FEED, "Z:" + path] + list(options))
        self.processes.append(p)
        return p

    def test_push_header_that_framing_cannot_carry_starts_no_player(self):
        for name, tag, player_header in [("framed length disagrees", b"mmsp", b"$H\x09\x00short"),
                                         ("past u16", b"wmv2", b"h" * 65528)]:
            with self.subTest(name):
                p = self.feed(tag, player_header, [b"rec1"])
                p.expect("END")
                self.assertFalse([l for l in p.seen if l.startswith("READY")])
                p.stop()

    def test_push_records_that_framing_cannot_carry_are_not_sent(self):
        good = [b"$D\x04\x00" + bytes([i]) * 4 for i in range(3)]
        records = [good[0], b"$D\x09\x00bad", good[1], b"$D\xfc\xff" + b"x" * 0xfffc, good[2]]
        # The records leave 5 s after the start: the client is streaming by then.
        p = self.feed(b"mmsp", b"$H\x02\x00hh", records, "--rate", "0.2")
        url = p.expect("READY").split()[1]
        c = RawClient(port_of(url), request=WMSP_SWITCH)
        self.clients.append(c)
        reply, _ = c.reply_and_body(14)
        at = len(reply) + 14
        got = []
        for _ in range(3):
            data = c.read_until(at + 16)
            got.append((data[at:at + 2], struct.unpack("<H", data[at + 2:at + 4])[0],
                        struct.unpack("<I", data[at + 4:at + 8])[0], data[at + 12:at + 16]))
            at += 16
        self.assertEqual(got, [(b"$D", 12, i + 1, bytes([i]) * 4) for i in range(3)])

    def test_oversized_request_is_closed_and_the_next_client_served(self):
        p = self.feed(b"vlch", b"", [b"x" * 10], "--rate", "0.2")
        url = p.expect("READY").split()[1]
        big = socket.create_connection(("127.0.0.1", port_of(url)), timeout=WAIT)
        self.clients.append(RawClient.__new__(RawClient))
        self.clients[-1].sock = big
        big.sendall(b"GET / HTTP/1.0\r\nX: " + b"y" * 9000)
        self.assertEqual(big.recv(100), b"")
        reply, _ = self.client_of(url).reply_and_body(0)
        self.assertTrue(reply.startswith("HTTP/1.0 200 OK"))

    def test_a_client_that_never_asks_is_dropped_and_the_next_served(self):
        p = self.feed(b"vlch", b"", [b"x" * 10], "--rate", "0.2")
        url = p.expect("READY").split()[1]
        silent = socket.create_connection(("127.0.0.1", port_of(url)), timeout=WAIT)
        self.clients.append(RawClient.__new__(RawClient))
        self.clients[-1].sock = silent
        # The accept thread serves one client at a time: the next one is
        # answered once the wait for the silent one's request ran out.
        reply, _ = self.client_of(url).reply_and_body(0)
        self.assertTrue(reply.startswith("HTTP/1.0 200 OK"))
        self.assertEqual(silent.recv(100), b"")

    def test_pending_push_clients_beyond_one_select_set_are_closed(self):
        p = self.feed(b"wmv2", b"hdr!", [b"rec1"], "--rate", "0.05")
        url = p.expect("READY").split()[1]
        header_length = 4 + 12
        clients = []
        for _ in range(70):
            c = self.client_of(url, request=WMSP_FIRST)
            reply, _ = c.reply_and_body(header_length)
            clients.append(c)
        # Each client beyond 63 pending is closed once it got its header.
        for c in clients[63:]:
            c.data = c.data[len(c.data):]
            self.assertEqual(c.sock.recv(100), b"")
        first = clients[0]
        first.data = b""
        first.sock.sendall(WMSP_FIRST)
        reply, _ = first.reply_and_body(header_length)
        self.assertRegex(reply, wmsp_reply("streaming"))

    def client_of(self, url, **kw):
        c = RawClient(port_of(url), **kw)
        self.clients.append(c)
        return c


def main():
    global EMULATOR, FEED
    values, EMULATOR, rest = split_script_args(sys.argv[1:], ["feed"])
    FEED = values.get("feed")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
