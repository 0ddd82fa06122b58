#!/usr/bin/env python3
"""vodctl.dll as an installer and a page use it: registered and unregistered
with regsvr32 (keys read back with "reg query"), the service "kxsvc" and
the codec files of the codec folder registered and unregistered with it, and the control scripted from JScript
(cscript) without a window, including StartVodService and StopVodService
under the prefix's service manager; then hosted by ctlhost, a page of ours,
and by atl.dll's own host window. Run by tests/fixtures/runner.py with the
swarm fixture, whose NAT server the started service logs in to.
"""
import argparse
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
sys.path.insert(0, os.path.join(HERE, "..", "service"))
import cachepair  # noqa: E402
from service_prefix import RUNNING, STOPPED, ServicePrefix  # noqa: E402
from line_process import LineProcess  # noqa: E402
from swarm_client import Failure, SwarmClient, check  # noqa: E402

PROGID, INDEPENDENT = "KX.StreamView.1", "KX.StreamView"
FRIENDLY = "StreamView Control Class"
GROUP_KEY = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Svchost"
SCRIPT = "Z:" + os.path.join(HERE, "control_page.js")
SIZE = 2 * cachepair.BLOCK_SIZE
SCHEME_KEY = r"HKCU\Software\Microsoft\MediaPlayer\Player\Schemes\zaror"


def values(prefix, key):
    """{name: data} of one key ("" for the default value), or None when the
    key does not exist."""
    code, out = prefix.wine("reg", "query", "HKCR\\" + key)
    if code != 0:
        return None
    found = {}
    for line in out.splitlines():
        if not line.startswith("    "):
            continue
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            name = "" if parts[0] == "(Default)" else parts[0]
            found[name] = parts[2] if len(parts) == 3 else ""
    return found


def regsvr32(prefix, *flags):
    code, out = prefix.wine("regsvr32", "/s", *flags, prefix.dll)
    return code


def page(prefix, step):
    code, out = prefix.wine("cscript", "//nologo", SCRIPT, INDEPENDENT, step)
    check(code == 0, f"page step {step}: exit {code} {out}")


def service_exists(prefix):
    return prefix.state() is not None


def class_keys(clsid, libid, appid, dll):
    """Every key the registration writes, with the values it must hold."""
    key = "CLSID\\" + clsid
    return {
        PROGID: {"": FRIENDLY},
        PROGID + "\\CLSID": {"": clsid},
        INDEPENDENT: {"": FRIENDLY},
        INDEPENDENT + "\\CLSID": {"": clsid},
        INDEPENDENT + "\\CurVer": {"": PROGID},
        key: {"": FRIENDLY, "AppID": appid},
        key + "\\ProgID": {"": PROGID},
        key + "\\VersionIndependentProgID": {"": INDEPENDENT},
        key + "\\InprocServer32": {"": dll, "ThreadingModel": "apartment"},
        key + "\\Control": {},
        key + "\\ToolboxBitmap32": {"": dll + ", 1"},
        key + "\\MiscStatus\\1": {"": "131473"},
        key + "\\TypeLib": {"": libid},
        key + "\\Version": {"": "1.0"},
        "AppID\\" + appid: {"": "vodctl"},
        "AppID\\vodctl.DLL": {"AppID": appid},
    }


def codec_servers(prefix):
    """How many classes name a server in the codec folder."""
    code, out = prefix.wine("reg", "query", r"HKCR\CLSID", "/s", timeout=120)
    return sum(1 for line in out.splitlines()
               if "(Default)" in line and "\\zuvoriru\\codecs\\" in line.lower())


class CodecFolder:
    """The codec files copied into the prefix's codec folder for the test,
    removed again afterwards."""
    def __init__(self, prefix, files):
        self.path = os.path.join(prefix.root, "drive_c", "windows", "system32", "zuvoriru",
                                 "Codecs")
        self.files = files
        self.made = not os.path.isdir(self.path)

    def __enter__(self):
        os.makedirs(self.path, exist_ok=True)
        for f in self.files:
            shutil.copy(f, self.path)
        return self

    def __exit__(self, *exc):
        for f in self.files:
            try:
                os.remove(os.path.join(self.path, os.path.basename(f)))
            except OSError:
                pass
        if self.made:
            shutil.rmtree(os.path.dirname(self.path), ignore_errors=True)


def registration(prefix, codecs):
    prefix.wine("reg", "delete", SCHEME_KEY, "/f")
    with CodecFolder(prefix, codecs):
        # Every page that made the control's window registered what the folder
        # held then: start from none, so what follows is regsvr32's doing.
        for f in codecs:
            prefix.wine("regsvr32", "/s", "/u",
                        "C:\\windows\\system32\\zuvoriru\\Codecs\\" + os.path.basename(f))
        check(codec_servers(prefix) == 0, "codec classes registered before the test")
        check(regsvr32(prefix) == 0, "regsvr32 failed")
        registered = codec_servers(prefix)
        check(registered >= len(codecs), f"{registered} classes of the codec files registered")
        code, out = prefix.wine("reg", "query", SCHEME_KEY, "/v", "Runtime")
        check(code == 0 and "0x1" in out, f"scheme key: {out}")
        try:
            registered_keys(prefix)
        finally:
            regsvr32(prefix, "/u")
        check(codec_servers(prefix) == 0, "codec classes left after /u")
        code, out = prefix.wine("reg", "query", SCHEME_KEY, "/v", "Runtime")
        check(code == 0, "the scheme key stays after /u")


def registered_keys(prefix):
    clsid = values(prefix, PROGID + "\\CLSID")[""]
    libid = values(prefix, "CLSID\\" + clsid + "\\TypeLib")[""]
    appid = values(prefix, "CLSID\\" + clsid)["AppID"]
    dll = prefix.dll.replace("/", "\\")
    keys = class_keys(clsid, libid, appid, dll)
    for key, want in keys.items():
        got = values(prefix, key)
        check(got is not None, f"missing key {key}")
        for name, data in want.items():
            got_data = got.get(name)
            if name == "" and key.endswith("InprocServer32") or key.endswith("ToolboxBitmap32"):
                got_data, data = (got_data or "").lower(), data.lower()
            check(got_data == data, f"{key} [{name}] = {got.get(name)!r}, want {data!r}")
    check(values(prefix, "TypeLib\\" + libid + "\\1.0") is not None, "type library registered")
    check(service_exists(prefix), "kxsvc installed by the registration")

    check(regsvr32(prefix, "/u") == 0, "regsvr32 /u failed")
    for key in keys:
        check(values(prefix, key) is None, f"{key} left after /u")
    check(values(prefix, "TypeLib\\" + libid) is None, "type library left after /u")
    check(values(prefix, "CLSID") is not None and values(prefix, "AppID") is not None,
          "the shared keys stay")
    check(not service_exists(prefix), "kxsvc left after /u")
    check(regsvr32(prefix, "/u") == 0, "/u without a service fails")


def failed_install(prefix):
    """A service group that does not list kxsvc: the install fails, and
    regsvr32 must hear of it."""
    prefix.wine("reg", "add", GROUP_KEY, "/v", "kxsvc", "/t", "REG_MULTI_SZ", "/d", "other",
                "/f")
    try:
        check(regsvr32(prefix) != 0, "regsvr32 reported success for a failed install")
        check(not service_exists(prefix), "no service after the failed install")
        check(values(prefix, PROGID) is not None, "the class was registered before the install")
    finally:
        prefix.wine("reg", "delete", GROUP_KEY, "/v", "kxsvc", "/f")
        regsvr32(prefix, "/u")


def hosted(prefix, ctlhost):
    """Page parameters through the property bag, the control bar made at
    activation, and the same control in a container we did not write."""
    host = LineProcess([prefix.wine_run, prefix.arch, prefix.root, ctlhost])
    try:
        host.expect("ready")

        def ask(line, answer):
            host.say(line)
            got = host.expect(answer.split(" ")[0])
            check(got == answer, f"{line}: {got!r}, want {answer!r}")

        # Spelled as the property, the parameter sets nothing.
        for line in ("param PasuedAD wrong.swf", "param EnableChat 0", "param Volume -1",
                     "param PlayMode Mini", "param Cgi  http://cgi.invalid/x "):
            host.say(line)
        ask("create " + INDEPENDENT, "created")
        ask("items", "items " + " ".join(str(i) for i in range(201, 214) if i != 203))
        for name, value in (("PasuedAD", ""), ("EnableChat", "0"), ("Volume", "67"),
                            ("PlayMode", "Mini"), ("Cgi", "http://cgi.invalid/x")):
            ask("get " + name, "value " + value)
        host.say("param PausedAD paused.swf")
        ask("create " + INDEPENDENT, "created")
        ask("get PasuedAD", "value paused.swf")
        ask("call Play", "call 0x00000000")
        ask("events", "events")

        ask("atl " + PROGID, "atl items 12")
        ask("get PlayMode", "value full")
        ask("get PlayState", "value 0")
    finally:
        host.stop()


def scripted(prefix, swarm, staging, ctlhost):
    check(regsvr32(prefix) == 0, "regsvr32 failed")
    try:
        page(prefix, "defaults")
        hosted(prefix, ctlhost)
        # A cached video keeps the started service running: it logs in to
        # the fixture's NAT server.
        header = cachepair.Header("b7" * 16, nat=f"127.0.0.1:{swarm.nat}",
                                  tracker=swarm.url("/vod"), cid=701,
                                  blocks=cachepair.block_count(SIZE))
        prefix.put_pair(staging, header, [(b, cachepair.video_bytes(SIZE, b, 1)) for b in (0, 1)])
        prefix.uninstall()
        check(not service_exists(prefix), "RundllUninstallA left the service")

        page(prefix, "start")
        prefix.wait_state(RUNNING, 30)
        check(len(swarm.logins(30)) == 1, "the started service logged in")
        # Again: the service exists, so it is only started (an install would
        # restart it and log in anew).
        page(prefix, "start")
        check(prefix.state() == RUNNING, "still running")
        check(len(swarm.logins(5)) == 1, "not restarted")

        page(prefix, "stop")
        prefix.wait_state(STOPPED, 30)
        page(prefix, "stop")
        prefix.uninstall()
        page(prefix, "stop")
    finally:
        regsvr32(prefix, "/u")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--ctlhost", required=True)
    parser.add_argument("--codec", action="append", required=True)
    args = parser.parse_args()

    prefix = ServicePrefix(args.wine_run, args.arch, args.prefix, args.dll)
    staging = tempfile.mkdtemp(prefix="tovra-control-")
    try:
        prefix.prepare()
        registration(prefix, args.codec)
        failed_install(prefix)
        scripted(prefix, SwarmClient(), staging, args.ctlhost)
        print("ok")
        return 0
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        prefix.restore()
        shutil.rmtree(staging, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
