"""Checks of Quenlit.exe as a file: its imports and its resources."""

import os
import re
import subprocess

from hosts import TEST_ROOT_NAME
import winelab

def resource_problems(lab):
    exe = f"C:\\{TEST_ROOT_NAME}\\Quenlit.exe"
    out = lab.wine_run([lab.driver, "resources", exe]).stdout.decode("ascii", "replace")
    facts = {}
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        if key == "string":
            name, _, data = value.partition(" ")
            facts[name] = b"" if data == "-" else bytes.fromhex(data)
        else:
            facts[key] = value
    want = {
        "fileversion": "1.1.0.5", "productversion": "1.0.1.0", "translation": "0411 932",
        "icons": "16,32,48,256", "FileVersion": b"1.1.0.5", "ProductVersion": b"1.01",
        "ProductName": b"Quenlit", "OriginalFilename": b"Quenlit.exe",
        "Comments": "Ostra.Exe と同じフォルダにコピーして実行して下さい。".encode("cp932"),
    }
    problems = [f"{k}: {facts.get(k)!r}, expected {v!r}" for k, v in want.items() if facts.get(k) != v]
    description = facts.get("FileDescription", b"")
    if not any(b >= 0x81 for b in description):
        problems.append(f"FileDescription {description!r} is not Japanese")
    manifest = bytes.fromhex(facts.get("manifest", "")).decode("utf-8", "replace")
    for needed in ('level="asInvoker"', "<dpiAware", ">PerMonitorV2, System</dpiAwareness>",
                   "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                   'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'):
        if needed not in manifest:
            problems.append(f"manifest lacks {needed}")
    # Code page 932 comes from the program itself: a manifest's code page
    # would hide any place that still leaks the system's.
    if "activeCodePage" in manifest:
        problems.append("the manifest names an activeCodePage")
    return problems


def utf8_manifest_problems(lab):
    """The test build must really ask for UTF-8, or its run proves nothing."""
    exe = f"C:\\{TEST_ROOT_NAME}\\Quenlit.exe"
    out = lab.wine_run([lab.driver, "resources", exe]).stdout.decode("ascii", "replace")
    manifest = next((bytes.fromhex(line.split(" ", 1)[1]).decode("utf-8", "replace")
                     for line in out.splitlines() if line.startswith("manifest ")), "")
    return [] if ">UTF-8</activeCodePage>" in manifest else ["the manifest names no activeCodePage UTF-8"]


SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll", "gdi32.dll"}


def executable_problems(_lab):
    exe = winelab.EXE
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                          text=True, check=True).stdout
    problems = []
    if not re.search(r"^Subsystem\s+00000002", dump, re.M):
        problems.append("not a GUI program")
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
    if not dlls or dlls - SYSTEM_DLLS:
        problems.append(f"imports {sorted(dlls)}")
    size = os.path.getsize(exe)
    if size > 512 * 1024:
        problems.append(f"{size} bytes, more than 512 KiB")
    return problems
