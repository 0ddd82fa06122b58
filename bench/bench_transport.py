#!/usr/bin/env python3
"""Reliable UDP transport against Winsock TCP, under the same Wine on the
same machine, in one run.

usage: bench_transport.py [--build BUILD_DIR] [--prefix PREFIX] [--bytes N]
                          [--size N] [--pings N] [--raw N]

BUILD_DIR is a cross build (default: the i686 build/win32 wherever the
kernel runs 32-bit code, else build/win64; see benchbuild.py). Two
network cores run in ppndriver processes logged in to the NAT server fixture
(inside this script); one connection goes straight over loopback, another
through the impairment relay (tests/fixtures/udp_relay.py) at 0, 1 and 5 %
loss each way. For each: goodput (messages of --size bytes, --bytes in all,
checked byte for byte by the receiver) and the round trip of a 100-byte
message answered by the other side (p50, p99). TCP: tcpdriver with the same
framed messages over 127.0.0.1, no loss (loss cannot be put on TCP without
the kernel). Raw datagrams: --raw datagrams of 1400 bytes as fast as they go,
over the direct connection. Prints a table; asserts nothing.
"""
import argparse
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests", "net"))
import ppn_processes  # noqa: E402
from benchbuild import Build, add_arguments  # noqa: E402
from nat_server import NatServer  # noqa: E402
from registry import PeerRegistry  # noqa: E402
from udp_relay import RelayPair  # noqa: E402

WAIT = 600


def tcp_figures(build, total, size, pings):
    tool = build.tool("tests", "tools", "tcpdriver.exe")

    def server(mode):
        proc = subprocess.Popen(build.wine() + [tool, mode], stdout=subprocess.PIPE, text=True)
        return proc, int(proc.stdout.readline().split()[1])

    sink, port = server("sink")
    subprocess.run(build.wine() + [tool, "send", str(port), str(total), str(size)], check=True)
    _, received, ms = sink.stdout.readline().split()
    sink.wait(WAIT)
    echo, port = server("echo")
    out = subprocess.run(build.wine() + [tool, "ping", str(port), str(pings), "100"], check=True,
                         capture_output=True, text=True).stdout
    echo.wait(WAIT)
    _, _, p50, p99, _ = out.split()
    return int(received) / max(1, int(ms)) / 1000.0, int(p50) / 1000.0, int(p99) / 1000.0


def srudp_figures(sender, receiver, total, size, pings, seed):
    count = max(1, total // size)
    receiver.say(f"EXPECT {sender.id_hex} {count} {seed} {size} fixed")
    receiver.expect("EXPECTING ", WAIT)
    sender.say(f"BURST {receiver.id_hex} {count} {seed} {size} fixed")
    _, _, received, ms = receiver.expect("DONE ", WAIT).split()
    receiver.say("ECHO on")
    sender.say(f"PING {receiver.id_hex} {pings} 100")
    _, _, p50, p99, _ = sender.expect("PINGS ", WAIT).split()
    receiver.say("ECHO off")
    return int(received) / max(1, int(ms)) / 1000.0, int(p50) / 1000.0, int(p99) / 1000.0


def raw_figures(sender, receiver, count):
    receiver.say("RAWRESET")
    sender.say(f"RAWBURST {receiver.id_hex} {count} 1400")
    sent = int(sender.expect("RAWSENT ", WAIT).split()[1])
    last = None
    while True:  # until the receiver's count stops growing
        time.sleep(0.5)
        receiver.say("RAWREPORT")
        _, got, size, ms = receiver.expect("RAWCOUNT ", WAIT).split()
        if got == last:
            break
        last = got
    return int(size) / max(1, int(ms)) / 1000.0, int(got) / max(1, sent)


def main():
    parser = argparse.ArgumentParser()
    add_arguments(parser)
    parser.add_argument("--bytes", type=int, default=8_000_000)
    parser.add_argument("--size", type=int, default=16384)
    parser.add_argument("--pings", type=int, default=300)
    parser.add_argument("--raw", type=int, default=20000)
    args = parser.parse_args()
    build = Build(args)
    print(build.describe(), flush=True)
    ppn_processes.EMULATOR = build.wine()
    ppn_processes.DRIVER = build.tool("tests", "tools", "ppndriver.exe")
    ppn_processes.WAIT = WAIT

    nat = NatServer(PeerRegistry())
    nat.start()
    a, b, c = (ppn_processes.Driver(nat.port) for _ in range(3))
    relay = RelayPair(a.port, b.port, seed=3)
    a.say(f"CONNECT {ppn_processes.loopback_address(b.id, relay.ports['a'])} 1")
    a.say(f"CONNECT {ppn_processes.loopback_address(c.id, c.port)} 1")
    for d in (b, c):
        d.expect("EVENT 4", WAIT)

    rows = [("Winsock TCP", "0 %") + tcp_figures(build, args.bytes, args.size, args.pings)]
    rows.append(("reliable UDP, direct", "0 %") + srudp_figures(a, c, args.bytes, args.size, args.pings, 1))
    for loss in (0.0, 0.01, 0.05):
        relay.set_knobs(drop=loss)
        # Loss costs the window half a second per lost datagram: less data.
        total = args.bytes if loss == 0 else max(args.size, int(args.bytes * 0.01 / loss / 4))
        rows.append(("reliable UDP, relay", f"{loss * 100:.0f} %")
                    + srudp_figures(a, b, total, args.size, args.pings, 2))
    relay.set_knobs(drop=0.0)
    raw_rate, delivered = raw_figures(a, c, args.raw)

    tcp_rate = rows[0][2]
    print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} processors; "
          f"messages of {args.size} bytes; round trips of 100 bytes")
    print(f"{'transport':<24}{'loss':>6}{'goodput MB/s':>14}{'p50 ms':>9}{'p99 ms':>9}{'goodput / TCP':>15}")
    for name, loss, rate, p50, p99 in rows:
        print(f"{name:<24}{loss:>6}{rate:>14.2f}{p50:>9.2f}{p99:>9.2f}{rate / tcp_rate:>15.3f}")
    print(f"raw datagrams of 1400 bytes, direct: {raw_rate:.2f} MB/s received, "
          f"{delivered * 100:.1f} % of {args.raw} delivered")

    for d in (a, b, c):
        d.stop()
    relay.stop()
    nat.stop()


if __name__ == "__main__":
    main()
