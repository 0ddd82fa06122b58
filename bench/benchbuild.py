"""Which cross build a benchmark script drives, and the Wine prefix it runs in.

--build names the build tree (build/win32 or build/win64); --prefix a Wine
prefix of the same architecture (default: the build tree's own). Without
--build the script takes the i686 product where this kernel runs 32-bit
code, and the x86-64 build only where it cannot.
"""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def can_run_win32():
    try:
        return subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def build_arch(build):
    """win32 or win64, from the toolchain the build tree was configured with."""
    cache = os.path.join(build, "CMakeCache.txt")
    try:
        with open(cache, encoding="utf-8") as f:
            for line in f:
                if line.startswith("CMAKE_TOOLCHAIN_FILE:"):
                    return "win64" if "mingw64" in line else "win32"
    except OSError:
        pass
    raise SystemExit(f"{build}: not a configured cross build (no CMakeCache.txt naming a toolchain)")


def prefix_arch(prefix):
    """win32 or win64 of an existing prefix (Wine writes it into system.reg), else None."""
    try:
        with open(os.path.join(prefix, "system.reg"), encoding="utf-8", errors="replace") as f:
            for _, line in zip(range(10), f):
                if line.startswith("#arch="):
                    return line.strip()[len("#arch="):]
    except OSError:
        pass
    return None


def add_arguments(parser):
    default = os.path.join("build", "win32" if can_run_win32() else "win64")
    parser.add_argument("--build", default=os.path.join(ROOT, default),
                        help=f"cross build tree (default {default}: "
                             "the i686 product wherever this kernel runs 32-bit code)")
    parser.add_argument("--prefix", default=None,
                        help="Wine prefix of the build's architecture (default BUILD/wineprefix)")


class Build:
    """The build tree, its architecture, the prefix and the Wine command line."""

    def __init__(self, args):
        self.path = os.path.abspath(args.build)
        self.arch = build_arch(self.path)
        self.prefix = os.path.abspath(args.prefix or os.path.join(self.path, "wineprefix"))
        found = prefix_arch(self.prefix)
        if found is not None and found != self.arch:
            raise SystemExit(f"{self.prefix} is a {found} prefix; {self.path} needs {self.arch}")
        if self.arch == "win32" and not can_run_win32():
            raise SystemExit("this kernel runs no 32-bit code: use --build build/win64")

    def wine(self):
        return [os.path.join(ROOT, "scripts", "wine-run.sh"), self.arch, self.prefix]

    def tool(self, *parts):
        return os.path.join(self.path, *parts)

    def describe(self):
        bits = "i686, 32-bit" if self.arch == "win32" else "x86-64"
        return f"build {self.path} ({bits}), prefix {self.prefix}"
