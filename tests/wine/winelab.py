"""A Wine setup of our own for running the real Quenlit.exe: packages, build,
a prefix under build/wine/, a private Xvfb, one persistent wineserver, and
host folders to run the tool in."""

import os
import select
import shutil
import subprocess
import sys
from dataclasses import dataclass

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build", "windows")
EXE = os.path.join(BUILD, "Quenlit.exe")  # the program under test; run-wine-tests --exe sets another
# The same source with activeCodePage UTF-8 in its manifest: how Windows 10
# and 11 run it when "Beta: Use Unicode UTF-8" is on or the manifest asks.
UTF8_EXE = os.path.join(ROOT, "build", "windows-utf8", "Quenlit.exe")
WINE_DIR = os.path.join(ROOT, "build", "wine")
PREFIX = os.path.join(WINE_DIR, "prefix")
PACKAGES = ["g++-mingw-w64-x86-64", "wine64", "wine", "xvfb", "fonts-ipafont-gothic"]
TOOLS = ["x86_64-w64-mingw32-g++-win32", "wine", "wineserver", "Xvfb", "cmake"]
# Wine gives a process the code page of its locale: 932, 1252, 936, 949.
# The tool must not care: every box and file byte is the same under each.
LOCALES = ["ja_JP.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8", "ko_KR.UTF-8"]
# (what, exe, locale) for each pass of the suite: the shipped exe under each
# locale, and the UTF-8 build under Japanese, whose code page is then 65001.
RUNS = [("Quenlit.exe", "exe", locale) for locale in LOCALES] + [
    ("Quenlit.exe built with activeCodePage UTF-8", "utf8", "ja_JP.UTF-8")]

# Run as root, Wine writes through a file without write bits; without these
# capabilities the read-only attribute bites as it does on Windows.
NO_OVERRIDE = ["setpriv", "--bounding-set=-dac_override,-dac_read_search,-fowner"]


class Missing(Exception):
    """A piece the suite needs is not on this machine."""


def say(text):
    print(text, flush=True)


def missing_locales():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    return [l for l in LOCALES if l.lower().replace("utf-8", "utf8") not in out.split()]


def missing_packages():
    if not shutil.which("dpkg-query"):
        return []
    missing = []
    for package in PACKAGES:
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                                capture_output=True, text=True).stdout
        if "install ok installed" not in status:
            missing.append(package)
    return missing


def install_if_root():
    """Installs what is missing when we may; never the 32-bit Wine."""
    missing = [t for t in TOOLS if not shutil.which(t)]
    if os.geteuid() != 0:
        if missing:
            raise Missing("missing " + ", ".join(missing))
        if missing_locales():
            raise Missing("locales not generated: " + ", ".join(missing_locales()))
        return
    if missing or missing_packages() or not shutil.which("setpriv") or missing_locales():
        # The packages and the locales, as scripts/install-deps makes them.
        subprocess.run([os.path.join(ROOT, "scripts", "install-deps"), "windows"], check=True)
    still = [t for t in TOOLS if not shutil.which(t)] + missing_locales()
    if still:
        raise Missing("still missing after install: " + ", ".join(still))


def build():
    for preset in ("windows", "windows-utf8"):
        result = subprocess.run(["cmake", "--workflow", "--preset", preset], cwd=ROOT,
                                capture_output=True, text=True)
        if result.returncode != 0:
            sys.stdout.write(result.stdout[-4000:] + result.stderr[-4000:])
            raise RuntimeError(f"cmake --workflow --preset {preset} failed")


class Lab:
    """Xvfb and a wineserver of our own, both stopped by close()."""

    def __init__(self, locale=LOCALES[0]):
        self.locale = locale
        self.xvfb = None
        self.server_started = False
        self.env = None

    def open(self):
        os.makedirs(PREFIX, exist_ok=True)
        self._start_xvfb()
        self.env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", LANG=self.locale,
                        LC_ALL=self.locale, DISPLAY=self.display,
                        # No Mono or Gecko installers on first start.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("LANGUAGE", None)
        fresh = not os.path.exists(os.path.join(PREFIX, "system.reg"))
        # Start the server first, so every Wine process of the suite runs
        # under it and under the same limits.
        # A server left over in our prefix from a run that was killed would
        # hold on to other limits.
        self._wine(["wineserver", "-k"])
        self._wine(["wineserver", "-w"], timeout=30)
        self._wine(["wineserver", "-p"], check=True)
        self.server_started = True
        if fresh:
            say(f"creating the Wine prefix {os.path.relpath(PREFIX, ROOT)}")
            self._wine(["wineboot", "-i"], check=True, timeout=300)
        # Boxes of an unmanaged window close at once, not after a window
        # manager's delay.
        self._wine(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], check=True)
        return self

    def close(self):
        if self.server_started:
            self._wine(["wineserver", "-k"])
            self._wine(["wineserver", "-w"], timeout=30)
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()

    def _start_xvfb(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def command(self, args):
        return (NO_OVERRIDE if os.geteuid() == 0 else []) + args

    def _wine(self, args, check=False, timeout=120, **kw):
        return subprocess.run(self.command(args), env=self.env, check=check, timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)

    def wine_run(self, args, timeout=90, **kw):
        return subprocess.run(self.command(["wine", *args]), env=self.env, timeout=timeout,
                              capture_output=True, **kw)

    def wine_popen(self, args, **kw):
        return subprocess.Popen(self.command(["wine", *args]), env=self.env, **kw)

    # -- host folders ------------------------------------------------------

    def drive_c(self, *parts):
        return os.path.join(PREFIX, "drive_c", *parts)

    def map_drive(self, folder):
        """Maps the first free letter from Q on to `folder`; returns 'Q:'."""
        devices = os.path.join(PREFIX, "dosdevices")
        for letter in "qrstuvwxy":
            link = os.path.join(devices, letter + ":")
            if os.path.islink(link) and os.readlink(link) == folder:
                return letter.upper() + ":"
            if not os.path.lexists(link):
                os.symlink(folder, link)
                return letter.upper() + ":"
        raise RuntimeError("no free drive letter")


@dataclass
class Box:
    caption: bytes
    text: bytes
    buttons: str
    default: str
    icon: str
    topmost: str = "?"  # as reported; Wine does not honour MB_TOPMOST


@dataclass
class Outcome:
    boxes: list
    exit_code: object  # int, or the raw output when the run went wrong
    output: str


def parse_driver_output(output):
    boxes, exit_code = [], output
    for line in output.splitlines():
        fields = line.split()
        if fields and fields[0] == "box":
            facts = dict(f.split("=", 1) for f in fields[1:])
            unhex = lambda v: b"" if v == "-" else bytes.fromhex(v)
            boxes.append(Box(unhex(facts["caption"]), unhex(facts["text"]), facts["buttons"],
                             facts["default"], facts["icon"], facts["topmost"]))
        elif len(fields) == 2 and fields[0] == "exit":
            exit_code = int(fields[1])
    return Outcome(boxes, exit_code, output)


def read_line(stream, timeout=30):
    """One line from a pipe, or "" when none comes in time."""
    ready, _, _ = select.select([stream], [], [], timeout)
    if not ready:
        return ""
    return stream.readline().decode("ascii", "replace").strip()
