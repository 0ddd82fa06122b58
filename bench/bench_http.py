#!/usr/bin/env python3
"""Loopback HTTP server against nginx, serving the same file on 127.0.0.1.

usage: bench_http.py [--build BUILD_DIR] [--prefix PREFIX] [--size-mib N] [--runs N]

BUILD_DIR is a cross build (default: the i686 build/win32 wherever the
kernel runs 32-bit code, else build/win64; see benchbuild.py): the
benchmark runs its http_serve_file driver under Wine (a reader host with the
whole file present) and nginx (Debian package) natively, then measures with
one raw-socket client: whole-file and range throughput and the time to the
first byte. Prints figures and ratios; asserts nothing.

Our server pauses 10 ms after each 36,864-byte chunk, which caps it at
36,864 B / 10 ms = 3.69 MB/s; its throughput is also given as a fraction of
that ceiling.
"""
import argparse
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from benchbuild import Build, add_arguments

CHUNK = 36864
PAUSE_S = 0.010
CEILING = CHUNK / PAUSE_S  # bytes per second


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_ours(build, video):
    driver = build.tool("tests", "vod", "http", "http_serve_file.exe")
    command = build.wine() + [driver, "Z:" + video]
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = []
    reader = threading.Thread(target=lambda: line.append(proc.stdout.readline()))
    reader.start()
    reader.join(120)
    if not line or not line[0].strip().isdigit():
        proc.kill()
        raise SystemExit("the driver did not start")
    # Keep its "open" lines flowing so it never blocks on a full pipe.
    threading.Thread(target=lambda: proc.stdout.read(), daemon=True).start()
    return proc, int(line[0])


def start_nginx(workdir):
    port = free_port()
    conf = os.path.join(workdir, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off;
master_process off;
worker_processes 1;
pid {workdir}/nginx.pid;
error_log {workdir}/nginx-error.log;
events {{ worker_connections 64; }}
http {{
    access_log off;
    client_body_temp_path {workdir}/body;
    proxy_temp_path {workdir}/proxy;
    fastcgi_temp_path {workdir}/fastcgi;
    uwsgi_temp_path {workdir}/uwsgi;
    scgi_temp_path {workdir}/scgi;
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen 127.0.0.1:{port};
        root {workdir};
    }}
}}
""")
    proc = subprocess.Popen(["nginx", "-p", workdir, "-c", conf],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return proc, port
        except OSError:
            time.sleep(0.05)
    proc.kill()
    raise SystemExit("nginx did not start")


def fetch(port, headers=b""):
    """(seconds to the first reply byte, seconds to the last, body bytes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=120) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        start = time.perf_counter()
        s.sendall(b"GET /1.flv HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + b"\r\n")
        first = s.recv(1 << 20)
        ttfb = time.perf_counter() - start
        head, _, body = first.partition(b"\r\n\r\n")
        length = int([line.split(b":")[1] for line in head.split(b"\r\n")
                      if line.lower().startswith(b"content-length:")][0])
        got = len(body)
        while got < length:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            got += len(chunk)
        return ttfb, time.perf_counter() - start, got


def measure(port, runs, headers=b""):
    samples = [fetch(port, headers) for _ in range(runs)]
    ttfb = statistics.median(s[0] for s in samples)
    rate = statistics.median(s[2] / s[1] for s in samples)
    return ttfb, rate


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--size-mib", type=int, default=16)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe())

    with tempfile.TemporaryDirectory(prefix="bench_http.") as workdir:
        video = os.path.join(workdir, "1.flv")
        with open(video, "wb") as f:
            f.write(b"FLV\x01\x05\x00\x00\x00\x09" + os.urandom(args.size_mib * (1 << 20) - 9))
        size = os.path.getsize(video)
        ours, our_port = start_ours(build, video)
        nginx, nginx_port = start_nginx(workdir)
        try:
            cases = [("whole file", b""),
                     ("range from the middle", b"Range: bytes=%d-\r\n" % (size // 2))]
            print(f"file {size / 1e6:.1f} MB, median of {args.runs} runs; "
                  f"pacing ceiling {CEILING / 1e6:.2f} MB/s")
            print(f"{'case':24} {'ours MB/s':>10} {'nginx MB/s':>11} {'ours/nginx':>11} "
                  f"{'of ceiling':>11} {'ours TTFB ms':>13} {'nginx TTFB ms':>14} {'TTFB ratio':>11}")
            for name, headers in cases:
                our_ttfb, our_rate = measure(our_port, args.runs, headers)
                ng_ttfb, ng_rate = measure(nginx_port, args.runs, headers)
                print(f"{name:24} {our_rate / 1e6:10.2f} {ng_rate / 1e6:11.1f} "
                      f"{our_rate / ng_rate:11.4f} {our_rate / CEILING:11.1%} "
                      f"{our_ttfb * 1e3:13.2f} {ng_ttfb * 1e3:14.3f} {our_ttfb / ng_ttfb:11.1f}")
            # Time to the first byte alone: short ranges at the end of the file.
            tail = b"Range: bytes=%d-\r\n" % (size - 1000)
            our = statistics.median(fetch(our_port, tail)[0] for _ in range(20))
            ng = statistics.median(fetch(nginx_port, tail)[0] for _ in range(20))
            print(f"TTFB of a 1000-byte tail range, median of 20: ours {our * 1e3:.2f} ms, "
                  f"nginx {ng * 1e3:.3f} ms, ratio {our / ng:.1f}")
        finally:
            ours.stdin.close()
            try:
                ours.wait(30)
            except subprocess.TimeoutExpired:
                ours.kill()
            nginx.terminate()
            nginx.wait(10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
