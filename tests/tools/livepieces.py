#!/usr/bin/env python3
"""A live channel's pieces for the test source (tests/tools/livesource.cpp):
an ffmpeg FLV cut into one-second pieces, with its stream header.

Stream header:  b"flv " | u32 0 | u16 title length | title | FLV file header,
                metadata and codec tags (everything before the first frame)
Piece:          u32 header id | records, each u32 length + one FLV tag (11-byte
                tag header, body, u32 previous tag size)

The piece file the source reads (little-endian):

    b"LPCF" | u32 first piece | u32 count | u32 header id | u32 header length |
    header | count x (u32 piece length | piece)

usage: livepieces.py OUT --first N [--seconds S] [--title T] [--header-id I]
prints {"first", "count", "header_id", "md5": [...]} as JSON.
"""
import argparse
import hashlib
import json
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from media import make_flv  # noqa: E402

MAGIC = b"LPCF"


def flv_tags(data):
    """(tag type, timestamp ms, whole tag with its previous-size field) of an FLV."""
    at = struct.unpack(">I", data[5:9])[0] + 4
    while at + 11 <= len(data):
        kind = data[at]
        size = int.from_bytes(data[at + 1:at + 4], "big")
        stamp = int.from_bytes(data[at + 4:at + 7], "big") | (data[at + 7] << 24)
        end = at + 11 + size + 4
        if end > len(data):
            break
        yield kind, stamp, data[at:end]
        at = end


def cut(flv, title="Test channel", header_id=1):
    """(stream header, [piece bytes]) of FLV bytes: tags before the first
    video frame go to the header, the rest into pieces by second."""
    head_end = struct.unpack(">I", flv[5:9])[0] + 4
    player_header = bytearray(flv[:head_end])
    groups = {}
    started = False
    for kind, stamp, tag in flv_tags(flv):
        if not started and kind == 18:
            player_header += tag
            continue
        started = True
        groups.setdefault(stamp // 1000, []).append(tag)
    encoded = title.encode("latin-1")
    header = b"flv " + struct.pack("<IH", 0, len(encoded)) + encoded + bytes(player_header)
    pieces = []
    for second in sorted(groups):
        body = struct.pack("<I", header_id)
        for tag in groups[second]:
            body += struct.pack("<I", len(tag)) + tag
        pieces.append(body)
    return header, pieces


def write(path, first, header_id, header, pieces):
    with open(path, "wb") as f:
        f.write(MAGIC + struct.pack("<IIII", first, len(pieces), header_id, len(header)) + header)
        for piece in pieces:
            f.write(struct.pack("<I", len(piece)) + piece)


def read(path):
    """(first, header id, header, [pieces]) of a piece file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != MAGIC:
        raise ValueError("not a piece file")
    first, count, header_id, header_length = struct.unpack("<IIII", data[4:20])
    at = 20 + header_length
    header = data[20:at]
    pieces = []
    for _ in range(count):
        length = struct.unpack("<I", data[at:at + 4])[0]
        pieces.append(data[at + 4:at + 4 + length])
        at += 4 + length
    return first, header_id, header, pieces


def make(path, first, seconds=60, title="Test channel", header_id=1, bitrate_k=300):
    with tempfile.TemporaryDirectory() as scratch:
        flv = os.path.join(scratch, "channel.flv")
        make_flv(flv, seconds=seconds, bitrate_k=bitrate_k)
        with open(flv, "rb") as f:
            header, pieces = cut(f.read(), title, header_id)
    write(path, first, header_id, header, pieces)
    return {"first": first, "count": len(pieces), "header_id": header_id,
            "md5": [hashlib.md5(p).hexdigest() for p in pieces]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--first", type=int, required=True)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--title", default="Test channel")
    parser.add_argument("--header-id", type=int, default=1)
    args = parser.parse_args()
    print(json.dumps(make(args.out, args.first, args.seconds, args.title, args.header_id)))


if __name__ == "__main__":
    main()
