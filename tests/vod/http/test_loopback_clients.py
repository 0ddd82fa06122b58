#!/usr/bin/env python3
"""Real clients against the loopback HTTP server.

usage: test_loopback_clients.py --workdir DIR -- EMULATOR... DRIVER.exe

Makes an FLV video with ffmpeg's test sources, serves it with the driver
(http_serve_file under Wine, which prints its port and then one "open N" line
per seek) and checks it with curl, ffprobe, ffmpeg and a raw-socket client:
byte-identical whole file, ranges equal to `tail -c`, the offset path behind
the re-sent FLV header, ffprobe's figures equal to the local file's, a
mid-file seek that decodes the same frames as a local seek, exact reply
headers, and a second client ending the first one's transfer.

Exits 77 (skipped) when curl, ffmpeg or ffprobe is missing.
"""
import argparse
import json
import os
import queue
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

CLIENT_TIMEOUT = 60
START_TIMEOUT = 90
OFFSET = 524288

DATE = rb"Date: [A-Z][a-z]{2}, \d{2} [A-Z][a-z]{2} \d{4} \d{2}:\d{2}:\d{2} GMT\r\n"
DATE_LINES = b"Date: <date>\r\nServer: Kelo Simple Http Server\r\n"
CONNECTION = b"Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
CLOSING = b"Cache-Control:no-cache\r\n\r\n"


class Driver:
    """The server process: its port, and the seeks it reports."""

    def __init__(self, command, video):
        self.proc = subprocess.Popen(command + ["Z:" + video], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._pump, daemon=True).start()
        first = self.next_line(START_TIMEOUT)
        if first is None or not first.strip().isdigit():
            self.stop()
            raise SystemExit(f"driver did not announce its port (got {first!r})")
        self.port = int(first)
        self.base = f"http://127.0.0.1:{self.port}"

    def _pump(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def next_line(self, timeout):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            return None

    def opens(self):
        """Offsets of the seeks reported since the last call."""
        found = []
        while True:
            try:
                line = self.lines.get_nowait()
            except queue.Empty:
                return found
            if line and line.startswith("open "):
                found.append(int(line.split()[1]))

    def wait_open(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            line = self.next_line(deadline - time.monotonic())
            if line and line.startswith("open "):
                return int(line.split()[1])
        return None

    def stop(self):
        """Ends the driver by closing its stdin; its exit status."""
        try:
            self.proc.stdin.close()
            return self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, timeout=CLIENT_TIMEOUT, **kwargs)


def make_video(path):
    run(["ffmpeg", "-nostdin", "-v", "error", "-y",
         "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=20",
         "-f", "lavfi", "-i", "sine=frequency=440:duration=20",
         "-c:v", "flv1", "-b:v", "600k", "-g", "25", "-c:a", "libmp3lame", "-b:a", "64k",
         "-flvflags", "add_keyframe_index", "-f", "flv", path], check=True)


def curl(url, out, *options):
    """curl's exit code and HTTP status; the body goes to out."""
    r = run(["curl", "-sS", "--max-time", str(CLIENT_TIMEOUT), "-o", out,
             "-w", "%{http_code}", *options, url])
    return r.returncode, r.stdout.decode()


def exchange(port, request):
    """Everything the server sends to one raw request before it closes."""
    with socket.create_connection(("127.0.0.1", port), timeout=CLIENT_TIMEOUT) as s:
        s.sendall(request)
        chunks = []
        while True:
            try:
                chunk = s.recv(65536)
            except ConnectionResetError:
                break
            if not chunk:
                break
            chunks.append(chunk)
        return b"".join(chunks)


def ffprobe_figures(source):
    r = run(["ffprobe", "-v", "error", "-count_packets",
             "-show_entries", "format=format_name,duration:stream=index,codec_type,nb_read_packets",
             "-of", "json", source], check=True)
    figures = json.loads(r.stdout)
    return {"format": figures["format"], "streams": figures["streams"]}


def seek_frames(source):
    r = run(["ffmpeg", "-nostdin", "-v", "error", "-ss", "10", "-i", source,
             "-frames:v", "25", "-f", "framemd5", "-"], check=True)
    return [line for line in r.stdout.decode().splitlines() if not line.startswith("#")]


class Checks:
    def __init__(self, driver, video, data, workdir):
        self.driver = driver
        self.video = video
        self.data = data
        self.workdir = workdir
        self.failures = []

    def expect(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures.append(what)

    def out(self, name):
        return os.path.join(self.workdir, name)

    def whole_file(self):
        code, status = curl(self.driver.base + "/1.flv", self.out("whole.flv"))
        with open(self.out("whole.flv"), "rb") as f:
            body = f.read()
        self.expect(code == 0 and status == "200" and body == self.data,
                    f"curl whole file is byte-identical ({len(body)} of {len(self.data)} bytes)")

    def ranges(self):
        size = len(self.data)
        for start in (0, 1000, OFFSET, size - 1):
            code, status = curl(self.driver.base + "/1.flv", self.out("range.bin"),
                                "-r", f"{start}-")
            with open(self.out("range.bin"), "rb") as f:
                body = f.read()
            tail = run(["tail", "-c", f"+{start + 1}", self.video], check=True).stdout
            self.expect(code == 0 and status == "206" and body == tail,
                        f"curl -r {start}- equals tail -c +{start + 1}")
        code, status = curl(self.driver.base + "/1.flv", self.out("beyond.bin"),
                            "-r", f"{size}-")
        self.expect(status == "416", f"curl -r {size}- gets 416 (got {status})")

    def offset_path(self):
        # The whole-file transfer before this one captured the FLV header.
        code, status = curl(f"{self.driver.base}/{OFFSET}.flv", self.out("offset.flv"))
        with open(self.out("offset.flv"), "rb") as f:
            body = f.read()
        expected = self.data[:9] + bytes(4) + self.data[OFFSET:]
        self.expect(code == 0 and status == "200" and body == expected,
                    f"/{OFFSET}.flv is the 13-byte header and the data from {OFFSET}")

    def ffprobe(self):
        remote = ffprobe_figures(self.driver.base + "/1.flv")
        local = ffprobe_figures(self.video)
        self.expect(remote == local and remote["format"]["format_name"] == "flv",
                    f"ffprobe figures over HTTP equal the local file's: {remote}")

    def seek(self):
        self.driver.opens()
        remote = seek_frames(self.driver.base + "/1.flv")
        local = seek_frames(self.video)
        opens = self.driver.opens()
        self.expect(len(remote) > 25 and remote == local,
                    f"ffmpeg -ss 10 decodes the same frames as locally ({len(remote)} lines)")
        self.expect(any(o > 0 for o in opens), f"ffmpeg's seek reopened mid-file at {opens}")

    def raw_headers(self):
        port = self.driver.port
        size = len(self.data)

        def head(reply):
            """The reply's header with its date line replaced by "Date: <date>"."""
            end = reply.find(b"\r\n\r\n") + 4
            return re.sub(DATE, b"Date: <date>\r\n", reply[:end], count=1), reply[end:]

        got, body = head(exchange(port, b"GET /1.flv HTTP/1.1\r\nHost: x\r\n\r\n"))
        self.expect(got == b"HTTP/1.1 200 OK\r\n" + DATE_LINES + b"Accept-Ranges: bytes\r\n"
                    + b"Content-Length: %d\r\n" % size + CONNECTION
                    + b"Content-Type: application\r\n" + CLOSING and body == self.data,
                    "raw GET /1.flv: exact 200 header and the file")

        got, body = head(exchange(port, b"GET /1.flv HTTP/1.1\r\nRange: bytes=1000-2000\r\n\r\n"))
        self.expect(got == b"HTTP/1.1 206 Partial Content\r\n" + DATE_LINES
                    + b"Accept-Ranges: bytes\r\nContent-Length: %d\r\n"
                      b"Content-Range: bytes 1000-%d/%d\r\n" % (size - 1000, size - 1, size)
                    + CONNECTION + b"Content-Type: application\r\n" + CLOSING
                    and body == self.data[1000:],
                    "raw Range 1000-2000: exact 206 header, data from 1000 to the end")

        got, body = head(exchange(port, b"GET /1.flv HTTP/1.1\r\nIf-Modified-Since: x\r\n"
                                        b"If-None-Match: \"v1\"\r\n\r\n"))
        self.expect(got == b"HTTP/1.1 304 Not Modified\r\n" + DATE_LINES + CONNECTION
                    + b"ETag: \"v1\"\r\n" + CLOSING and body == b"",
                    "raw conditional GET: exact 304, no body")

        got, body = head(exchange(port, b"GET /1.flv HTTP/1.1\r\nRange: bytes=%d-\r\n\r\n" % size))
        self.expect(got == b"HTTP/1.1 416 Requested Range Not Satisfiable\r\n" + DATE_LINES
                    + b"Content-Range: bytes */%d\r\n" % size
                    + b"Content-Length: 0\r\nConnection: close\r\n" + CLOSING and body == b"",
                    "raw range beyond the end: exact 416, no body")

        reply = exchange(port, b"GET /crossdomain.xml HTTP/1.1\r\n\r\n")
        self.expect(reply == b"HTTP/1.1 200 OK\r\nContent-Length: 102\r\n\r\n"
                             b"<?xml version=\"1.0\"?>\r\n<cross-domain-policy>\r\n"
                             b"<allow-access-from domain=\"*\" />\r\n</cross-domain-policy>",
                    "raw /crossdomain.xml: exact policy reply")

        for request in (b"POST /1.flv HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
                        b"GET /1.flv HTTP/1.0\r\n\r\n",
                        b"GET /1.flv\r\n\r\n"):
            self.expect(exchange(port, request) == b"",
                        f"raw {request.splitlines()[0]!r} is closed without a reply")

    def second_client_ends_first(self):
        self.driver.opens()
        slow = subprocess.Popen(["curl", "-sS", "--max-time", str(CLIENT_TIMEOUT),
                                 "--limit-rate", "20k", "-o", self.out("slow.flv"),
                                 self.driver.base + "/1.flv"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        first_open = self.driver.wait_open(CLIENT_TIMEOUT)
        code, status = curl(self.driver.base + "/1.flv", self.out("second.flv"))
        with open(self.out("second.flv"), "rb") as f:
            second = f.read()
        try:
            slow_code = slow.wait(CLIENT_TIMEOUT)
        except subprocess.TimeoutExpired:
            slow.kill()
            slow_code = None
        self.expect(first_open == 0 and code == 0 and second == self.data,
                    "a second client gets the whole file while a slow one reads")
        # curl 18: the transfer ended with data outstanding.
        self.expect(slow_code == 18, f"the slow client's transfer was ended (curl exit {slow_code})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--workdir", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command

    missing = [tool for tool in ("curl", "ffmpeg", "ffprobe") if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed (Debian packages curl, ffmpeg)")
        return 77

    os.makedirs(args.workdir, exist_ok=True)
    video = os.path.join(os.path.abspath(args.workdir), "testsrc.flv")
    make_video(video)
    with open(video, "rb") as f:
        data = f.read()
    if len(data) <= OFFSET:
        raise SystemExit(f"test video too small: {len(data)} bytes")

    driver = Driver(command, video)
    checks = Checks(driver, video, data, args.workdir)
    try:
        checks.whole_file()
        checks.ranges()
        checks.offset_path()
        checks.ffprobe()
        checks.seek()
        checks.raw_headers()
        checks.second_client_ends_first()
    finally:
        status = driver.stop()
    checks.expect(status == 0, f"the driver stops at the end of its stdin (exit {status})")
    if checks.failures:
        print(f"{len(checks.failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
