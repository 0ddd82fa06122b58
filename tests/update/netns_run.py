#!/usr/bin/env python3
"""Runs one Windows test with its fixtures inside a network namespace.

usage: netns_run.py <scripts dir> <win32|win64> <prefix> [--fixture NAME[:ARGS]]... -- <test.exe> [args]

The update library always connects to port 80. Rather than touch the
machine's port 80, the test gets a network namespace of its own (an
unprivileged user namespace, `unshare -rn`) whose loopback carries the
fixtures and the test. Wine creates its sockets in the wineserver process,
so the namespace has its own prefix and its own wineserver, started inside
it and stopped at the end. Where namespaces are not allowed the test is
skipped with exit status 77.
"""
import fcntl
import os
import socket
import struct
import subprocess
import sys

SKIP = 77
INSIDE = "TOVRA_IN_NETNS"
HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "..", "fixtures", "runner.py")


def loopback_up():
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sH22x", b"lo", 0)
        flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS, request))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))


def stop_wine(scripts, arch, prefix):
    subprocess.call([os.path.join(scripts, "wine-stop.sh"), arch, prefix],
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)


def inside(scripts, arch, prefix, rest):
    loopback_up()
    split = rest.index("--")
    fixtures, command = rest[:split], rest[split + 1:]
    # A wineserver left by an earlier run serves another namespace.
    stop_wine(scripts, arch, prefix)
    try:
        return subprocess.call([sys.executable, RUNNER] + fixtures + ["--",
                               os.path.join(scripts, "wine-run.sh"), arch, prefix] + command)
    finally:
        stop_wine(scripts, arch, prefix)


def main(argv):
    if len(argv) < 5 or "--" not in argv:
        raise SystemExit(__doc__)
    scripts, arch, prefix, rest = argv[0], argv[1], argv[2], argv[3:]
    if os.environ.get(INSIDE) == "1":
        return inside(scripts, arch, prefix, rest)
    try:
        probe = subprocess.run(["unshare", "-rn", "true"], capture_output=True, text=True)
        refusal = probe.stderr.strip() if probe.returncode != 0 else None
    except OSError as error:
        refusal = str(error)
    if refusal is not None:
        print("SKIP: this machine does not allow a network namespace "
              f"(unshare -rn: {refusal}); the update library's port-80 tests cannot run here")
        return SKIP
    env = dict(os.environ, **{INSIDE: "1"})
    return subprocess.call(["unshare", "-rn", sys.executable, os.path.abspath(__file__)] + argv,
                           env=env)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
