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
                     [--kind KIND]
prints {"first", "count", "header_id", "md5": [...]} as JSON.

--kind cuts the stream in the form a local player of the feeder takes (the
stream header then carries that player's header after the title):
  flv    i64 content length | 9-byte FLV header; records u32 previous tag
         size + one tag
  real   i64 content length | u16 video stream | RealMedia header (up to and
         with the DATA chunk header; index offset 0); records: data packets
  wmv2   ASF header (with the data object header); records: data packets
  mmsp   as wmv2, each with "$H"/"$D" and a u16 length in front
  vlch   the header is b"ts"; records: runs of 7 transport packets
  wmv    synthetic writer samples, no encoding: the header is a writer
         profile of two streams as UTF-16 text with its zero; records u8
         stream | u8 flags (1 clean point) | u64 time in 100 ns | data.
         Stream 1 has 10 samples a second, a clean point each second;
         stream 2 has 5, all clean points
"""
import argparse
import hashlib
import json
import os
import struct
import subprocess
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


def pieces_of(groups, header_id):
    """One piece per second of {second: [record]}: the header id, then each
    record with its u32 length."""
    pieces = []
    for second in sorted(groups):
        body = struct.pack("<I", header_id)
        for record in groups[second]:
            body += struct.pack("<I", len(record)) + record
        pieces.append(body)
    return pieces


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
    return header, pieces_of(groups, header_id)


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


KIND_TAGS = {"flv": b"flv ", "real": b"real", "wmv2": b"wmv2", "mmsp": b"mmsp", "vlch": b"vlch",
             "wmv": b"wmv "}
# What each form needs of ffmpeg.
KIND_CODECS = {
    "flv": ["-c:v", "flv1", "-c:a", "adpcm_swf", "-ar", "22050", "-f", "flv"],
    "real": ["-c:v", "rv20", "-c:a", "ac3", "-f", "rm"],
    "wmv2": ["-c:v", "wmv2", "-c:a", "wmav2", "-packet_size", "3200", "-f", "asf"],
    "vlch": ["-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"],
}
KIND_CODECS["mmsp"] = KIND_CODECS["wmv2"]
LIVE_CONTENT_LENGTH = 0x7FFFFFFF


def encode(kind, seconds, bitrate_k):
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "channel")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"testsrc=size=320x240:rate=25:duration={seconds}",
                        "-f", "lavfi", "-i", f"sine=frequency=440:duration={seconds}",
                        "-b:v", f"{bitrate_k}k", "-g", "25"] + KIND_CODECS[kind] + [out],
                       check=True)
        with open(out, "rb") as f:
            return f.read()


def flv_records(data):
    """(player header, [(second, record)]): each record the previous tag size
    and one tag."""
    head_end = struct.unpack(">I", data[5:9])[0]
    records = []
    previous = 0
    for _kind, stamp, tag in flv_tags(data):
        body = tag[:-4]
        records.append((stamp // 1000, struct.pack(">I", previous) + body))
        previous = len(body)
    return struct.pack("<q", LIVE_CONTENT_LENGTH) + data[:head_end], records


def rm_records(data):
    at, video, header = 0, 0, bytearray()
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack(">I", data[at + 4:at + 8])[0]
        if chunk == b"DATA":
            header += data[at:at + 18]
            at += 18
            break
        piece = bytearray(data[at:at + size])
        if chunk == b"PROP":
            piece[38:42] = b"\0\0\0\0"
        if chunk == b"MDPR" and b"video/" in piece:
            video = struct.unpack(">H", piece[10:12])[0]
        header += piece
        at += size
    records = []
    while at + 12 <= len(data):
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        if length < 12 or data[at:at + 4] == b"INDX":
            break
        stamp = struct.unpack(">I", data[at + 6:at + 10])[0]
        records.append((stamp // 1000, data[at:at + length]))
        at += length
    return struct.pack("<qH", LIVE_CONTENT_LENGTH, video) + bytes(header), records


ASF_DATA_GUID = bytes.fromhex("3626b2758e66cf11a6d900aa0062ce6c")


def asf_records(data, seconds, framed):
    start = data.index(ASF_DATA_GUID)
    header = data[:start + 50]
    packet_size = struct.unpack("<I", data[data.index(bytes.fromhex("a1dcab8c47a9cf118ee400c00c205365")) + 92:][:4])[0]
    data_end = start + struct.unpack("<Q", data[start + 16:start + 24])[0]
    packets = [data[at:at + packet_size] for at in range(start + 50, data_end, packet_size)]
    per_second = max(1, -(-len(packets) // seconds))
    if framed:
        header = b"$H" + struct.pack("<H", len(header)) + header
        packets = [b"$D" + struct.pack("<H", len(p)) + p for p in packets]
    return header, [(i // per_second, p) for i, p in enumerate(packets)]


def ts_records(data, seconds):
    run = 188 * 7
    chunks = [data[at:at + run] for at in range(0, len(data), run)]
    per_second = max(1, -(-len(chunks) // seconds))
    return b"ts", [(i // per_second, c) for i, c in enumerate(chunks)]


WMV_PROFILE = ('<profile version="589824" name="live"><streamconfig streamnumber="1"/>'
               '<streamconfig streamnumber="2"/></profile>')


def wmv_sample(stream, flags, time, data):
    return struct.pack("<BBQ", stream, flags, time) + data


def wmv_records(seconds):
    """Synthetic writer samples; each one's data names its stream and time."""
    records = []
    for second in range(seconds):
        for tenth in range(10):
            time = (second * 10 + tenth) * 1_000_000
            records.append((second, wmv_sample(1, 1 if tenth == 0 else 0, time, b"v%d" % time)))
            if tenth % 2 == 0:
                records.append((second, wmv_sample(2, 1, time, b"a%d" % time)))
    return (WMV_PROFILE + "\0").encode("utf-16-le"), records


def cut_kind(kind, data, seconds, title, header_id):
    """(stream header, [piece bytes]) of an encoded stream in a player's form."""
    if kind == "flv":
        player_header, records = flv_records(data)
    elif kind == "real":
        player_header, records = rm_records(data)
    elif kind in ("wmv2", "mmsp"):
        player_header, records = asf_records(data, seconds, kind == "mmsp")
    elif kind == "wmv":
        player_header, records = wmv_records(seconds)
    else:
        player_header, records = ts_records(data, seconds)
    encoded = title.encode("latin-1")
    header = KIND_TAGS[kind] + struct.pack("<IH", 0, len(encoded)) + encoded + player_header
    groups = {}
    for second, record in records:
        groups.setdefault(second, []).append(record)
    return header, pieces_of(groups, header_id)


def make_kind(path, kind, first, seconds=20, title="Test channel", header_id=1, bitrate_k=300):
    data = b"" if kind == "wmv" else encode(kind, seconds, bitrate_k)
    header, pieces = cut_kind(kind, data, seconds, title, header_id)
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
    parser.add_argument("--kind", choices=sorted(KIND_TAGS))
    args = parser.parse_args()
    if args.kind:
        print(json.dumps(make_kind(args.out, args.kind, args.first, args.seconds, args.title,
                                   args.header_id)))
        return
    print(json.dumps(make(args.out, args.first, args.seconds, args.title, args.header_id)))


if __name__ == "__main__":
    main()
