#!/usr/bin/env python3
"""Checks a built Vorlune.scr: machine and GUI subsystem, imports only system DLLs (no DirectX,
no Wtsapi32, no EnumDisplayDevicesA: those are loaded at run time), the version record and the icon."""
import re
import subprocess
import sys

path, arch = sys.argv[1], sys.argv[2]
prefix = {"i686": "i686", "x86_64": "x86_64"}[arch]
dump = subprocess.run([f"{prefix}-w64-mingw32-objdump", "-p", path], capture_output=True, text=True, check=True).stdout
failures = []

want_format = "pei-i386" if arch == "i686" else "pei-x86-64"
if want_format not in dump:
    failures.append(f"not a {want_format} executable")
m = re.search(r"^Subsystem\s+0*([0-9a-f]+)", dump, re.M)
if not m or int(m.group(1), 16) != 2:
    failures.append("subsystem is not Windows GUI (2)")

dlls = [d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)]
system = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "ole32.dll", "comctl32.dll", "msvcrt.dll",
          "advapi32.dll", "shell32.dll", "oleaut32.dll"}
system_prefix = ("api-ms-win-crt-",)
for d in dlls:
    if d not in system and not d.startswith(system_prefix):
        failures.append(f"imports a DLL that is not part of Windows: {d}")
for banned in ("ddraw.dll", "dinput.dll", "dsound.dll", "wtsapi32.dll"):
    if banned in dlls:
        failures.append(f"imports {banned}")
if re.search(r"\bEnumDisplayDevicesA\b", dump):
    failures.append("imports EnumDisplayDevicesA")

data = open(path, "rb").read()
def wide(s):
    return s.encode("utf-16-le")
for key, value in (("FileVersion", "V1.0.27"), ("InternalName", "Vorlune"), ("OriginalFilename", "Vorlune.exe")):
    if not re.search(re.escape(wide(key)) + b"(\x00\x00)+" + re.escape(wide(value)) + b"\x00\x00", data):
        failures.append(f'version string "{key}" "{value}" missing')
# VS_FIXEDFILEINFO: signature, struct version, then file version MS (0.0) and LS (27.0).
if b"\xbd\x04\xef\xfe\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x1b\x00" not in data:
    failures.append("fixed file version is not 0.0.27.0")

rsrc = subprocess.run([f"{prefix}-w64-mingw32-objdump", "-h", path], capture_output=True, text=True).stdout
if ".rsrc" not in rsrc:
    failures.append("no resource section")

if failures:
    print("\n".join(f"FAIL: {f}" for f in failures))
    print("imports:", ", ".join(dlls))
    sys.exit(1)
print(f"{path}: {want_format}, GUI, imports {', '.join(dlls)}; version 0.0.27.0")
