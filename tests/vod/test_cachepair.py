#!/usr/bin/env python3
"""Cache pairs cross-checked between our C++ code and tests/tools/cachepair.py.

usage: test_cachepair.py [--wine-run SCRIPT --arch A --prefix DIR --tool vodcache.exe]

Without the Wine options only the Python reader/writer is checked against the
format's own bytes. With them, the vodcache tool writes pairs for the Python
reader to check, and reads pairs the Python writer made.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cachepair  # noqa: E402

WINE = None
HASH_A = "a1" * 16
HASH_B = "b2" * 16
SIZE = 5 * cachepair.BLOCK_SIZE - 1000  # five blocks, the last one short


def md5(data):
    return hashlib.md5(data).hexdigest()


class Format(unittest.TestCase):
    def test_header_bytes(self):
        header = cachepair.Header("abc", "h:3501", "/t", 7, 3)
        self.assertEqual(header.pack().hex(),
                         "0100" "0300616263" "0600683a33353031" "02002f74"
                         "0700000000000000" "03000000")

    def test_round_trip_and_check(self):
        with tempfile.TemporaryDirectory() as folder:
            header = cachepair.Header(HASH_A, blocks=cachepair.block_count(SIZE))
            blocks = [(b, cachepair.video_bytes(SIZE, b, 3)) for b in (4, 0, 2)]
            cachepair.write_pair(folder, header, blocks)
            read, entries = cachepair.read_pair(folder, HASH_A)
            self.assertEqual(read.as_dict(), header.as_dict())
            self.assertEqual([(b, o, n) for b, o, n, _ in entries],
                             [(4, 0, 35864), (0, 35864, 36864), (2, 72728, 36864)])
            self.assertEqual(cachepair.check_pair(folder, HASH_A), [])
            with open(os.path.join(folder, HASH_A), "r+b") as f:
                f.seek(40000)
                f.write(b"\0")
            self.assertEqual(cachepair.check_pair(folder, HASH_A),
                             ["block 0 does not match its digest"])


def run_tool(*args):
    done = subprocess.run([WINE.wine_run, WINE.arch, WINE.prefix, WINE.tool] + list(args),
                          stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=60,
                          text=True)
    if done.returncode != 0:
        raise AssertionError("vodcache %s: status %d\n%s" % (args, done.returncode, done.stdout))
    return done.stdout.replace("\r", "").splitlines()


@unittest.skipUnless("--tool" in sys.argv, "needs the vodcache tool under Wine")
class WithOurCode(unittest.TestCase):
    def read_blocks(self, hash_):
        return dict(line.split(" ") for line in run_tool("read", hash_, str(SIZE)))

    @classmethod
    def setUpClass(cls):
        folder = run_tool("folder")[0]
        drive, rest = folder.split(":", 1)
        cls.folder = os.path.join(WINE.prefix, "dosdevices", drive.lower() + ":",
                                  *rest.strip("\\").split("\\"))

    def setUp(self):
        for name in os.listdir(self.folder):
            if name.startswith((HASH_A, HASH_B)):
                os.remove(os.path.join(self.folder, name))

    tearDown = setUp

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_python_reads_what_we_wrote(self):
        order = [3, 0, 4, 1, 2]
        run_tool("write", HASH_A, str(SIZE), "5", *map(str, order))
        header, entries = cachepair.read_pair(self.folder, HASH_A)
        self.assertEqual(header.as_dict(), dict(version=1, hash=HASH_A, nat="nat.test:3501",
                                                tracker="http://127.0.0.1/vod", cid=77,
                                                blocks=5))
        offset = 0
        for entry, block in zip(entries, order):
            expected = cachepair.video_bytes(SIZE, block, 5)
            self.assertEqual(entry, (block, offset, len(expected),
                                     hashlib.md5(expected).digest()))
            offset += len(expected)
        self.assertEqual(len(entries), 5)
        self.assertEqual(os.path.getsize(self.path(HASH_A)), SIZE)
        self.assertEqual(cachepair.check_pair(self.folder, HASH_A), [])

    def test_we_read_what_python_wrote(self):
        header = cachepair.Header(HASH_B, blocks=5)
        cachepair.write_pair(self.folder, header,
                             [(b, cachepair.video_bytes(SIZE, b, 9)) for b in (1, 4, 0, 2)])
        self.assertEqual(self.read_blocks(HASH_B), {
            str(b): md5(cachepair.video_bytes(SIZE, b, 9)) if b != 3 else "-"
            for b in range(5)})
        # What we append later lands after Python's blocks, under Python's header.
        run_tool("write", HASH_B, str(SIZE), "9", "3")
        self.assertEqual(cachepair.check_pair(self.folder, HASH_B), [])
        self.assertEqual([e[0] for e in cachepair.read_pair(self.folder, HASH_B)[1]],
                         [1, 4, 0, 2, 3])

    def test_changed_block_deletes_the_pair(self):
        cachepair.write_pair(self.folder, cachepair.Header(HASH_B, blocks=5),
                             [(b, cachepair.video_bytes(SIZE, b, 9)) for b in range(5)])
        with open(self.path(HASH_B), "r+b") as f:
            f.seek(2 * cachepair.BLOCK_SIZE + 100)
            f.write(b"\xff")
        blocks = self.read_blocks(HASH_B)
        self.assertEqual(blocks["0"], md5(cachepair.video_bytes(SIZE, 0, 9)))
        self.assertEqual([blocks[str(b)] for b in (2, 3, 4)], ["-", "-", "-"])
        self.assertFalse(os.path.exists(self.path(HASH_B)))
        self.assertFalse(os.path.exists(self.path(HASH_B + ".vd2")))

    def test_index_of_another_version_is_discarded(self):
        cachepair.write_pair(self.folder, cachepair.Header(HASH_B, blocks=5, version=2),
                             [(0, cachepair.video_bytes(SIZE, 0, 9))])
        self.assertEqual(set(self.read_blocks(HASH_B).values()), {"-"})
        self.assertFalse(os.path.exists(self.path(HASH_B)))
        self.assertEqual(os.path.getsize(self.path(HASH_B + ".vd2")), 0)


def main():
    global WINE
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run")
    parser.add_argument("--arch")
    parser.add_argument("--prefix")
    parser.add_argument("--tool")
    args, rest = parser.parse_known_args()
    if args.tool:
        WINE = args
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
