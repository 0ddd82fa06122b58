#!/usr/bin/env python3
"""The STUN client's NAT-type verdicts against Debian's coturn, behind NAT and
firewall set-ups made with network namespaces and nftables.

Three namespaces of the test's own, joined by veth pairs:

    client 198.51.100.2 --- 198.51.100.1 router 203.0.113.254 --- 203.0.113.10 server
                                                             (203.0.113.1 and .2 on its lo)

coturn runs in the server namespace as a plain STUN server on 203.0.113.1
and 203.0.113.2, ports 3478 and 3479. For each case the router namespace is
made afresh (no connection tracking carries over) with the case's nftables
rules, and the client's test runs under Wine with the wineserver of a prefix
of this test's own started inside the client namespace. Nothing leaves the
namespaces; they and coturn are removed at the end, failure or not, and
leftovers of a run that was killed are removed at the next start.

usage: nat_matrix.py --driver stundriver.exe --wine-run wine-run.sh
                     --wine-stop wine-stop.sh --arch win64 --prefix DIR [-k CASE]...
Exits 77 (skipped) where namespaces, nftables or coturn are not available.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SERVER_IPS = ("203.0.113.1", "203.0.113.2")
SERVER_LINK = "203.0.113.10"
ROUTER_OUT = "203.0.113.254"
ROUTER_IN = "198.51.100.1"
CLIENT = "198.51.100.2"

# Result values of the client's test.
OPEN, FULL_CONE, RESTRICTED, PORT_RESTRICTED, SYMMETRIC, FIREWALL, BLOCKED = 1, 2, 3, 4, 5, 6, 7
NAMES = {1: "open", 2: "full cone", 3: "restricted cone", 4: "port-restricted cone",
         5: "symmetric", 6: "symmetric firewall", 7: "blocked", 8: "failure"}

SNAT = f'oifname "rv1" snat to {ROUTER_OUT}'
# The router's rules for each set-up: (expected verdict, nftables ruleset).
CASES = {
    "open": (OPEN, ""),
    # Nothing from outside gets in unless it answers what went out.
    "firewall": (FIREWALL, """
table inet t {
  chain through { type filter hook forward priority 0; policy drop;
    ct state established,related accept; iifname "rv0" accept; }
}"""),
    # One mapping for every destination, and anyone may use it.
    "full_cone": (FULL_CONE, f"""
table ip t {{
  chain inbound {{ type nat hook prerouting priority -100; iifname "rv1" udp dport 1024-65535 dnat to {CLIENT}; }}
  chain outbound {{ type nat hook postrouting priority 100; {SNAT}; }}
}}"""),
    # Anyone at an address the mapping has sent to may use it, from any port.
    "restricted": (RESTRICTED, f"""
table ip t {{
  set contacted {{ type ipv4_addr . inet_service; flags dynamic,timeout; timeout 5m; }}
  chain through {{ type filter hook forward priority 0; policy accept;
    iifname "rv0" meta l4proto udp update @contacted {{ ip daddr . udp sport }}; }}
  chain inbound {{ type nat hook prerouting priority -100;
    iifname "rv1" ip saddr . udp dport @contacted dnat to {CLIENT}; }}
  chain outbound {{ type nat hook postrouting priority 100; {SNAT}; }}
}}"""),
    # Only the address and port the mapping has sent to may answer.
    "port_restricted": (PORT_RESTRICTED, f"""
table ip t {{
  chain outbound {{ type nat hook postrouting priority 100; {SNAT}; }}
}}"""),
    # A new mapping, with a random port, for every destination.
    "symmetric": (SYMMETRIC, f"""
table ip t {{
  chain outbound {{ type nat hook postrouting priority 100; oifname "rv1" meta l4proto udp snat to {ROUTER_OUT}:20000-60000 random; }}
}}"""),
    "blocked": (BLOCKED, """
table inet t {
  chain through { type filter hook forward priority 0; policy accept; meta l4proto udp drop; }
}"""),
}


def run(*cmd, check=True, **kw):
    p = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if check and p.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: exit {p.returncode}\n{p.stderr}")
    return p


def ns(name, *cmd, check=True):
    return run("ip", "netns", "exec", name, *cmd, check=check)


def skip(why):
    print(f"SKIPPED: {why}", flush=True)
    sys.exit(SKIP)


def remove_leftovers():
    """Namespaces of runs whose process is gone."""
    listing = run("ip", "netns", "list", check=False).stdout
    for line in listing.splitlines():
        m = re.match(r"(natm(\d+)[csr])\b", line)
        if m and not os.path.exists(f"/proc/{m.group(2)}"):
            for pid in run("ip", "netns", "pids", m.group(1), check=False).stdout.split():
                run("kill", "-9", pid, check=False)
            run("ip", "netns", "del", m.group(1), check=False)


class Matrix:
    def __init__(self, args):
        self.args = args
        tag = f"natm{os.getpid()}"
        self.client, self.router, self.server = tag + "c", tag + "r", tag + "s"
        self.made = []
        self.coturn = None
        self.workdir = tempfile.mkdtemp(prefix="natmatrix-")
        self.env = dict(os.environ, TOVRA_WINEDEBUG="-all")

    # ------------------------------------------------------------ set-up

    def add_ns(self, name):
        run("ip", "netns", "add", name)
        self.made.append(name)
        ns(name, "ip", "link", "set", "lo", "up")

    def start(self):
        self.add_ns(self.client)
        self.add_ns(self.server)
        for ip in SERVER_IPS:
            ns(self.server, "ip", "addr", "add", ip + "/32", "dev", "lo")
        self.make_router("")
        log = os.path.join(self.workdir, "coturn.log")
        cmd = ["ip", "netns", "exec", self.server, shutil.which("turnserver"), "-n", "--stun-only",
               "--listening-port", "3478", "--alt-listening-port", "3479",
               "--no-tls", "--no-dtls", "--no-cli", "--no-tcp",
               "--pidfile", os.path.join(self.workdir, "coturn.pid"),
               "--userdb", os.path.join(self.workdir, "turndb"),
               "--log-file", log, "--simple-log"]
        for ip in SERVER_IPS:
            cmd += ["-L", ip]
        self.coturn = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        want = {f"{ip}:{port}" for ip in SERVER_IPS for port in (3478, 3479)}
        deadline = time.monotonic() + 20
        while True:
            bound = set(ns(self.server, "ss", "-Hlun").stdout.split())
            if want <= bound:
                break
            if self.coturn.poll() is not None or time.monotonic() > deadline:
                tail = open(log).read()[-2000:] if os.path.exists(log) else ""
                raise RuntimeError(f"coturn did not come up on {sorted(want)}:\n{tail}")
            time.sleep(0.1)

    def make_router(self, rules):
        """The router afresh: new links, no tracked connections, the rules."""
        if self.router in self.made:
            # The old links go first, at once: a namespace deleted with
            # them still inside frees them later, and the client's "cv0"
            # could then still exist when the new pair is made.
            ns(self.client, "ip", "link", "del", "cv0", check=False)
            ns(self.server, "ip", "link", "del", "sv0", check=False)
            run("ip", "netns", "del", self.router)
            self.made.remove(self.router)
        self.add_ns(self.router)
        r, c, s = self.router, self.client, self.server
        run("ip", "link", "add", "cv0", "netns", c, "type", "veth", "peer", "name", "rv0", "netns", r)
        run("ip", "link", "add", "rv1", "netns", r, "type", "veth", "peer", "name", "sv0", "netns", s)
        ns(c, "ip", "addr", "add", CLIENT + "/24", "dev", "cv0")
        ns(c, "ip", "link", "set", "cv0", "up")
        ns(c, "ip", "route", "add", "default", "via", ROUTER_IN)
        ns(s, "ip", "addr", "add", SERVER_LINK + "/24", "dev", "sv0")
        ns(s, "ip", "link", "set", "sv0", "up")
        ns(s, "ip", "route", "add", "default", "via", ROUTER_OUT)
        ns(r, "ip", "addr", "add", ROUTER_IN + "/24", "dev", "rv0")
        ns(r, "ip", "addr", "add", ROUTER_OUT + "/24", "dev", "rv1")
        ns(r, "ip", "link", "set", "rv0", "up")
        ns(r, "ip", "link", "set", "rv1", "up")
        for ip in SERVER_IPS:
            ns(r, "ip", "route", "add", ip + "/32", "via", SERVER_LINK)
        ns(r, "sysctl", "-qw", "net.ipv4.ip_forward=1")
        if rules:
            path = os.path.join(self.workdir, "rules.nft")
            with open(path, "w") as f:
                f.write(rules + "\n")
            ns(r, "nft", "-f", path)

    # ------------------------------------------------------------ one case

    def verdict(self):
        a = self.args
        cmd = ["ip", "netns", "exec", self.client, a.wine_run, a.arch, a.prefix, a.driver,
               f"{SERVER_IPS[0]}:3478"]
        p = subprocess.run(cmd, capture_output=True, text=True, timeout=180, env=self.env,
                           stdin=subprocess.DEVNULL)
        m = re.search(r"NATTYPE (\d+)", p.stdout)
        if not m:
            raise RuntimeError(f"driver said nothing (rc {p.returncode}):\n{p.stdout}\n{p.stderr[-2000:]}")
        return int(m.group(1))

    # ------------------------------------------------------------ tear-down

    def stop_wine(self):
        a = self.args
        run(a.wine_stop, a.arch, a.prefix, check=False, env=self.env)

    def close(self):
        if self.coturn and self.coturn.poll() is None:
            self.coturn.terminate()
            try:
                self.coturn.wait(10)
            except subprocess.TimeoutExpired:
                self.coturn.kill()
                self.coturn.wait()
        self.stop_wine()
        for name in reversed(self.made):
            run("ip", "netns", "del", name, check=False)
        shutil.rmtree(self.workdir, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--wine-stop", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("-k", dest="cases", action="append", choices=sorted(CASES))
    args = parser.parse_args()

    if os.geteuid() != 0:
        skip("network namespaces need root")
    for tool in ("ip", "nft", "turnserver", "ss"):
        if not shutil.which(tool):
            skip(f"{tool} is not installed (coturn and nftables are Debian packages)")
    probe = f"natm{os.getpid()}p"
    if run("ip", "netns", "add", probe, check=False).returncode != 0:
        skip("this machine does not allow network namespaces")
    ok = ns(probe, "nft", "list", "ruleset", check=False).returncode == 0
    run("ip", "netns", "del", probe, check=False)
    if not ok:
        skip("nftables does not work here")
    remove_leftovers()

    # A time-out's SIGTERM still tears everything down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    matrix = Matrix(args)
    results = []
    try:
        # The wineserver must start inside the client namespace.
        matrix.stop_wine()
        matrix.start()
        for name in args.cases or list(CASES):
            expected, rules = CASES[name]
            matrix.make_router(rules)
            got = matrix.verdict()
            results.append((name, expected, got))
            print(f"{name:16} expected {expected} {NAMES[expected]:22} got {got} {NAMES.get(got, '?')}",
                  flush=True)
    finally:
        matrix.close()
    bad = [r for r in results if r[1] != r[2]]
    if bad:
        print(f"FAILED: {len(bad)} of {len(results)} verdicts differ", flush=True)
        return 1
    print(f"all {len(results)} verdicts as expected", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
