#!/usr/bin/env python3
"""Checks that a DLL exports exactly the given names, undecorated.

usage: check-exports.py <file.dll> <name>...
Hosts look exports up by their plain names (GetProcAddress, regsvr32), so a
32-bit stdcall export must not keep its "@n" decoration.
"""
import re
import subprocess
import sys


def exported_names(dll):
    dump = subprocess.run(["objdump", "-p", dll], capture_output=True, text=True, check=True).stdout
    table = dump.partition("[Ordinal/Name Pointer] Table")[2]
    return {m.group(1) for m in re.finditer(r"^\s*\[\s*\d+\]\s+(\S+)$", table, re.M)}


def main(dll, *wanted):
    names = exported_names(dll)
    missing, extra = set(wanted) - names, names - set(wanted)
    for name in sorted(missing):
        print(f"FAIL: {dll} does not export {name}")
    for name in sorted(extra):
        print(f"FAIL: {dll} also exports {name}")
    if not missing and not extra:
        print(f"ok: {dll} exports {' '.join(sorted(names))}")
    return 1 if missing or extra else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) > 2 else __doc__)
