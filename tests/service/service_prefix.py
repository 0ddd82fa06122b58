"""One Wine prefix as the machine of the seeding service "kxsvc": its cache
folder, its common settings file, and the service installed with rundll32,
started and stopped through the prefix's service manager."""
import os
import subprocess
import time

import cachepair
from swarm_client import check

STOPPED, RUNNING = 1, 4


class ServicePrefix:
    def __init__(self, wine_run, arch, prefix, dll):
        self.wine_run, self.arch, self.dll = wine_run, arch, dll
        self.root = os.path.realpath(prefix)
        self.cache = os.path.join(self.root, "drive_c", "RODar_Azizo")
        self.common_ini = os.path.join(self.root, "drive_c", "ProgramData", "zuvoriru",
                                       "vodctl.ini")
        self.kept_ini = None

    def wine(self, *argv, timeout=60):
        result = subprocess.run([self.wine_run, self.arch, self.root] + list(argv),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=timeout)
        return result.returncode, result.stdout + result.stderr

    def state(self):
        code, out = self.wine("sc", "query", "kxsvc")
        for line in out.splitlines():
            if "STATE" in line:
                return int(line.split(":")[1].split()[0])
        return None

    def wait_state(self, state, timeout):
        deadline = time.monotonic() + timeout
        while self.state() != state:
            check(time.monotonic() < deadline, f"service not in state {state} within {timeout} s")
            # sc itself takes tens of milliseconds; this only spaces the queries.
            time.sleep(0.2)

    def empty_cache(self):
        os.makedirs(self.cache, exist_ok=True)
        for name in os.listdir(self.cache):
            path = os.path.join(self.cache, name)
            if os.path.isfile(path):
                os.remove(path)

    def put_pair(self, staging, header, blocks):
        """A cache pair (cachepair.write_pair) written in staging and moved
        into the cache folder: data file first, index last, as the engine
        leaves them."""
        cachepair.write_pair(staging, header, blocks)
        for path in cachepair.paths(staging, header.hash):
            os.replace(path, os.path.join(self.cache, os.path.basename(path)))

    def install(self):
        code, out = self.wine("rundll32", self.dll + ",RundllInstallA")
        check(code == 0, f"rundll32: {out}")

    def start(self):
        code, out = self.wine("net", "start", "kxsvc")
        check(code == 0, f"net start: {out}")
        check(self.state() == RUNNING, "not running after net start")

    def stop(self):
        code, out = self.wine("net", "stop", "kxsvc")
        check(code == 0, f"net stop: {out}")
        check(self.state() == STOPPED, "not stopped after net stop")

    def prepare(self):
        """No service and an empty cache; the settings file kept aside and
        replaced by one whose STUN server refuses at once, which keeps the
        seeder on loopback."""
        self.uninstall()
        self.empty_cache()
        if os.path.exists(self.common_ini):
            with open(self.common_ini, "rb") as f:
                self.kept_ini = f.read()
        os.makedirs(os.path.dirname(self.common_ini), exist_ok=True)
        with open(self.common_ini, "w") as f:
            f.write("[cachedata]\r\nstun=127.0.0.1:80\r\n")

    def restore(self):
        """Undoes prepare(): the service removed (stopped first), the cache
        emptied, the settings file put back."""
        self.uninstall()
        self.empty_cache()
        if self.kept_ini is None:
            if os.path.exists(self.common_ini):
                os.remove(self.common_ini)
        else:
            with open(self.common_ini, "wb") as f:
                f.write(self.kept_ini)

    def uninstall(self):
        return self.wine("rundll32", self.dll + ",RundllUninstallA")
