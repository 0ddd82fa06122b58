#!/usr/bin/env python3
"""The Real and VLC hosts end to end: tests/tools/playurl plays an address
through the player selector, with the stand-in controls reading the stream
over HTTP, and must hear "playing" and see the position advance. The streams
come from tests/tools/livefeed (the live RealMedia and VLC endpoints, over a
piece file of tests/tools/livepieces.py) and from tests/tools/http_serve_file
(a media file through the loopback server).

usage: hosts_e2e.py --feed livefeed.exe --play playurl.exe --serve http_serve_file.exe
                    --media DIR [-k PATTERN] -- EMULATOR...
"""
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import livepieces  # noqa: E402
from line_process import LineProcess  # noqa: E402
from script_args import split_script_args  # noqa: E402

EMULATOR = []
TOOLS = {}
PLAY_SECONDS = 40


class HostsEndToEnd(unittest.TestCase):
    def setUp(self):
        self.processes = []
        self.scratch = tempfile.mkdtemp(prefix="hosts-e2e-")

    def tearDown(self):
        for p in reversed(self.processes):
            if p.argv_tool == TOOLS["serve"]:
                p.proc.stdin.close()   # the server ends with its input
                p.proc.wait(30)
            else:
                p.stop()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def start(self, *argv):
        p = LineProcess(EMULATOR + list(argv))
        p.argv_tool = argv[0]
        self.processes.append(p)
        return p

    def live_url(self, kind):
        path = os.path.join(self.scratch, kind + ".lpc")
        livepieces.make_kind(path, kind, 500, seconds=20)
        feed = self.start(TOOLS["feed"], "Z:" + path)
        return feed.expect("READY").split()[1]

    def file_url(self, name, scheme):
        server = self.start(TOOLS["serve"], "Z:" + os.path.join(TOOLS["media"], name))
        port = int(server.expect("").strip())
        return f"{scheme}://127.0.0.1:{port}/{name}"

    def plays(self, url, kind):
        player = self.start(TOOLS["play"], url, "--seconds", str(PLAY_SECONDS))
        self.assertEqual(player.expect("OPEN"), f"OPEN 00000000 {kind}")
        self.assertEqual(player.expect("PLAY "), "PLAY 00000000")
        player.expect("PLAYSTATE 3", timeout=PLAY_SECONDS)
        player.expect("DONE", timeout=PLAY_SECONDS + 10)
        positions = [int(line.split()[1]) for line in player.seen if line.startswith("POSITION")]
        self.assertGreaterEqual(positions[-1], min(p for p in positions if p > 0) + 2, positions)
        self.assertEqual(player.proc.wait(30), 0)

    def test_live_realmedia_endpoint(self):
        self.plays(self.live_url("real"), 1)

    def test_live_vlc_endpoint(self):
        url = self.live_url("vlch")
        self.assertTrue(url.startswith("vlch://"), url)
        self.plays(url, 6)

    def test_realmedia_file_through_the_loopback_server(self):
        self.plays(self.file_url("long.rm", "http"), 1)

    def test_transport_stream_file_as_a_vlc_address(self):
        self.plays(self.file_url("long.ts", "vlch"), 6)


def main():
    global EMULATOR, TOOLS
    TOOLS, EMULATOR, rest = split_script_args(sys.argv[1:], ["feed", "play", "serve", "media"])
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
