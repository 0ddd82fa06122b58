#!/usr/bin/env python3
"""The whole live road on one machine: the test source node serves an FLV
channel, an engine (livedriver) joins it, its feeder starts the FLV player,
and ffprobe reads the URL the engine announces.

usage: live_feed_e2e.py --driver livedriver.exe --source livesource.exe -- EMULATOR...
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import live_processes  # noqa: E402
import livepieces  # noqa: E402
from line_process import WAIT  # noqa: E402
from script_args import split_script_args  # noqa: E402


class LiveFeedEndToEnd(unittest.TestCase):
    start_source = live_processes.LiveChannel.start_source
    start_driver = live_processes.LiveChannel.start_driver

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="live-feed-")
        self.pieces_path = os.path.join(self.scratch, "channel.lpc")
        livepieces.make_kind(self.pieces_path, "flv", live_processes.FIRST, seconds=60, title="E2E")
        self.swarm = live_processes.Swarm()
        self.processes = []

    def tearDown(self):
        for p in reversed(self.processes):
            p.stop()
        self.swarm.close()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def test_source_engine_feeder_flv_player_ffprobe(self):
        self.start_source()
        driver = self.start_driver("--buffering", "1")
        _, url, title = driver.expect("READY", timeout=120).split(" ", 2)
        self.assertEqual(title, "E2E")
        self.assertRegex(url, r"^http://127\.0\.0\.1:\d+/1\.flv$")
        run = subprocess.run(["ffprobe", "-v", "error", "-rw_timeout", "20000000", "-select_streams", "v",
                              "-show_entries", "stream=codec_name:packet=flags", "-read_intervals", "%+#1",
                              "-of", "csv=p=0", url], capture_output=True, text=True, timeout=WAIT)
        self.assertEqual(run.returncode, 0, run.stderr)
        lines = run.stdout.split()
        self.assertIn("flv1", lines)
        self.assertTrue(lines[0].startswith("K"), lines)


def main():
    values, live_processes.EMULATOR, rest = split_script_args(sys.argv[1:], ["driver", "source"])
    live_processes.DRIVER = values.get("driver")
    live_processes.SOURCE = values.get("source")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
