#!/usr/bin/env python3
"""Reads and writes the cache pair of one video, independently of the C++ code.

A pair lies in the cache folder: the data file, named by the content hash,
holds the video's blocks back to back in the order they were written; the
index, the same name followed by ".vd2", holds (little-endian):

  header  u16 version (1), str16 hash, str16 NAT server "host:port",
          str16 tracker URL, u64 content id, u32 block count
  entries u32 block, u64 offset in the data file, u16 length, 16-byte MD5

where str16 is a u16 length and the bytes. Blocks are 36,864 bytes (48
pieces of 768), the video's last block fewer.

usage:
  cachepair.py dump  FOLDER HASH   header and entries as JSON
  cachepair.py check FOLDER HASH   checks every entry against the data file
  cachepair.py write FOLDER HASH --size N --blocks 3,0,1 [--seed S]
                     [--nat H:P] [--tracker URL] [--cid N] [--version V]
                   writes the listed blocks of the test video (video_bytes)
"""
import argparse
import hashlib
import json
import os
import struct
import sys

BLOCK_SIZE = 36864
ENTRY = struct.Struct("<IQH16s")


class Header:
    def __init__(self, hash, nat="nat.test:3501", tracker="http://127.0.0.1/vod",
                 cid=77, blocks=0, version=1):
        self.version = version
        self.hash = hash
        self.nat = nat
        self.tracker = tracker
        self.cid = cid
        self.blocks = blocks

    def pack(self):
        def str16(text):
            data = text.encode("latin-1")
            return struct.pack("<H", len(data)) + data
        return (struct.pack("<H", self.version) + str16(self.hash) + str16(self.nat) +
                str16(self.tracker) + struct.pack("<qI", self.cid, self.blocks))

    def as_dict(self):
        return dict(version=self.version, hash=self.hash, nat=self.nat,
                    tracker=self.tracker, cid=self.cid, blocks=self.blocks)


class FormatError(Exception):
    pass


def parse_index(data):
    """Returns (Header, [(block, offset, length, md5 bytes)]) of index bytes."""
    at = 0

    def take(n):
        nonlocal at
        if at + n > len(data):
            raise FormatError("index cut short at byte %d" % at)
        chunk = data[at:at + n]
        at += n
        return chunk

    def str16():
        (n,) = struct.unpack("<H", take(2))
        return take(n).decode("latin-1")

    (version,) = struct.unpack("<H", take(2))
    hash_, nat, tracker = str16(), str16(), str16()
    cid, blocks = struct.unpack("<qI", take(12))
    header = Header(hash_, nat, tracker, cid, blocks, version)
    entries = []
    while at < len(data):
        entries.append(ENTRY.unpack(take(ENTRY.size)))
    return header, entries


def paths(folder, hash_):
    data = os.path.join(folder, hash_)
    return data, data + ".vd2"


def read_pair(folder, hash_):
    data_path, index_path = paths(folder, hash_)
    with open(index_path, "rb") as f:
        return parse_index(f.read())


def check_pair(folder, hash_):
    """Problems found: entries beyond the block count or whose bytes differ."""
    header, entries = read_pair(folder, hash_)
    with open(paths(folder, hash_)[0], "rb") as f:
        data = f.read()
    problems = []
    for block, offset, length, md5 in entries:
        if block >= header.blocks:
            problems.append("block %d beyond the count %d" % (block, header.blocks))
        elif hashlib.md5(data[offset:offset + length]).digest() != md5:
            problems.append("block %d does not match its digest" % block)
    return problems


def video_bytes(size, block, seed):
    """The test video's block: byte at offset o is (7 o + o // 509 + seed) mod 256."""
    start = block * BLOCK_SIZE
    end = min(size, start + BLOCK_SIZE)
    return bytes((o * 7 + o // 509 + seed) & 0xFF for o in range(start, end))


def block_count(size):
    return (size + BLOCK_SIZE - 1) // BLOCK_SIZE


def write_pair(folder, header, blocks):
    """Writes a new pair: blocks is [(block number, bytes)] in data-file order."""
    data_path, index_path = paths(folder, header.hash)
    index = header.pack()
    offset = 0
    with open(data_path, "wb") as data:
        for block, chunk in blocks:
            data.write(chunk)
            index += ENTRY.pack(block, offset, len(chunk), hashlib.md5(chunk).digest())
            offset += len(chunk)
    with open(index_path, "wb") as f:
        f.write(index)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=["dump", "check", "write"])
    parser.add_argument("folder")
    parser.add_argument("hash")
    parser.add_argument("--size", type=int)
    parser.add_argument("--blocks", default="")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--nat", default="nat.test:3501")
    parser.add_argument("--tracker", default="http://127.0.0.1/vod")
    parser.add_argument("--cid", type=int, default=77)
    parser.add_argument("--version", type=int, default=1)
    args = parser.parse_args(argv)

    if args.command == "dump":
        header, entries = read_pair(args.folder, args.hash)
        print(json.dumps(dict(header=header.as_dict(), entries=[
            dict(block=b, offset=o, length=n, md5=m.hex()) for b, o, n, m in entries])))
        return 0
    if args.command == "check":
        problems = check_pair(args.folder, args.hash)
        for p in problems:
            print(p)
        return 1 if problems else 0
    if args.size is None:
        parser.error("write needs --size")
    header = Header(args.hash, args.nat, args.tracker, args.cid, block_count(args.size),
                    args.version)
    order = [int(b) for b in args.blocks.split(",") if b]
    write_pair(args.folder, header,
               [(b, video_bytes(args.size, b, args.seed)) for b in order])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
