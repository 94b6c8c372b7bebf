#!/usr/bin/env python3
"""Checks a built Vorlune.scr: machine and GUI subsystem, imports only system DLLs (no DirectX,
no Wtsapi32, no EnumDisplayDevicesA: those are loaded at run time), the version record, the icon,
string 1 (the name Windows lists the screensaver under) and the application manifest; and that it
is what is released: no debug information or symbols, no link time, a debug link to
Vorlune.scr.debug (whose CRC must match when that file lies beside it)."""
import binascii
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24
SCREENSAVER_NAME = "Vorlune Screensaver"
DEBUG_FILE = "Vorlune.scr.debug"
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                   "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"}


class BadImage(Exception):
    pass


def unpack(fmt, data, offset):
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise BadImage(f"read of {size} bytes at {offset:#x} is past the end of the file")
    return struct.unpack_from(fmt, data, offset)


def resource_reader(data):
    """The resource section of a PE image: returns (root file offset, rva-to-file-offset function)."""
    if data[:2] != b"MZ":
        raise BadImage("no MZ header")
    (pe,) = unpack("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadImage("no PE signature")
    _, sections, _, _, _, optional_size, _ = unpack("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    (magic,) = unpack("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise BadImage(f"unknown optional header magic {magic:#x}")
    (count,) = unpack("<I", data, directories - 4)
    if count < 3:
        raise BadImage("no resource directory entry")
    rsrc_rva, rsrc_size = unpack("<II", data, directories + 2 * 8)
    if rsrc_rva == 0 or rsrc_size == 0:
        raise BadImage("empty resource directory")
    table = []
    for i in range(sections):
        _, virtual_size, rva, raw_size, raw_offset = unpack("<8sIIII", data, optional + optional_size + 40 * i)
        table.append((rva, max(virtual_size, raw_size), raw_size, raw_offset))

    def file_offset(address, length):
        for rva, span, raw_size, raw_offset in table:
            if rva <= address and address + length <= rva + min(span, raw_size):
                return raw_offset + address - rva
        raise BadImage(f"RVA {address:#x}+{length} lies in no section's data")

    return file_offset(rsrc_rva, 16), file_offset


def resource_directory(data, root, offset):
    """The entries of one resource directory: {id: (is_directory, offset from root)}; names are skipped."""
    named, numbered = unpack("<HH", data, offset + 12)
    entries = {}
    for i in range(named + numbered):
        name, target = unpack("<II", data, offset + 16 + 8 * i)
        if name & 0x80000000:
            continue
        entries[name] = (bool(target & 0x80000000), target & 0x7FFFFFFF)
    return entries


def resource(data, type_id, name_id):
    """The bytes of resource type/name (the first language); None when there is none."""
    root, file_offset = resource_reader(data)
    types = resource_directory(data, root, root)
    if type_id not in types or not types[type_id][0]:
        return None
    names = resource_directory(data, root, root + types[type_id][1])
    if name_id not in names or not names[name_id][0]:
        return None
    languages = resource_directory(data, root, root + names[name_id][1])
    if not languages:
        return None
    is_dir, entry = languages[min(languages)]
    if is_dir:
        raise BadImage("language entry is a directory")
    rva, size, _, _ = unpack("<IIII", data, root + entry)
    start = file_offset(rva, size)
    return data[start:start + size]


def string_block(block):
    """The 16 strings of a string-table block (block n holds strings 16(n-1) .. 16(n-1)+15)."""
    strings, offset = [], 0
    for _ in range(16):
        (length,) = unpack("<H", block, offset)
        offset += 2
        if offset + 2 * length > len(block):
            raise BadImage("string runs past the end of its block")
        strings.append(block[offset:offset + 2 * length].decode("utf-16-le"))
        offset += 2 * length
    return strings


def manifest_problems(text):
    """What is missing or wrong in the application manifest (an empty list when nothing is)."""
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as e:
        return [f"manifest is not well-formed XML: {e}"]
    problems = []
    if root.tag != f"{{{ASM_V1}}}assembly" or root.get("manifestVersion") != "1.0":
        problems.append("manifest root is not an asm.v1 assembly of manifestVersion 1.0")
    levels = [e.get("level") for e in root.iterfind(
        f"{{{ASM_V3}}}trustInfo/{{{ASM_V3}}}security/{{{ASM_V3}}}requestedPrivileges/{{{ASM_V3}}}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"requestedExecutionLevel is {levels}, not asInvoker")
    settings = f"{{{ASM_V3}}}application/{{{ASM_V3}}}windowsSettings"
    aware = [(e.text or "").strip() for e in root.iterfind(f"{settings}/{{{SETTINGS_2005}}}dpiAware")]
    if aware != ["true/pm"]:
        problems.append(f"dpiAware (2005 namespace) is {aware}, not true/pm")
    awareness = [[v.strip() for v in (e.text or "").split(",")]
                 for e in root.iterfind(f"{settings}/{{{SETTINGS_2016}}}dpiAwareness")]
    if awareness != [["PerMonitorV2", "PerMonitor"]]:
        problems.append(f"dpiAwareness (2016 namespace) is {awareness}, not PerMonitorV2, PerMonitor")
    listed = {(e.get("Id") or "").lower() for e in root.iterfind(
        f"{{{COMPATIBILITY}}}compatibility/{{{COMPATIBILITY}}}application/{{{COMPATIBILITY}}}supportedOS")}
    for guid, name in SUPPORTED_OS.items():
        if guid not in listed:
            problems.append(f"supportedOS {name} {guid} missing")
    identities = [e.attrib for e in root.iterfind(
        f"{{{ASM_V1}}}dependency/{{{ASM_V1}}}dependentAssembly/{{{ASM_V1}}}assemblyIdentity")]
    if COMMON_CONTROLS not in identities:
        problems.append(f"no dependency on {COMMON_CONTROLS}; dependencies: {identities}")
    return problems


def section_table(data):
    """The sections of a PE image: [(name, raw size, raw file offset)]. Names longer than eight
    characters ("/offset") are read from the COFF string table that follows the symbols."""
    (pe,) = unpack("<I", data, 0x3C)
    _, count, _, symbols, symbol_count, optional_size, _ = unpack("<HHIIIHH", data, pe + 4)
    strings = symbols + 18 * symbol_count
    table = []
    for i in range(count):
        raw_name, _, _, raw_size, raw_offset = unpack("<8sIIII", data, pe + 24 + optional_size + 40 * i)
        name = raw_name.rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and name[1:].isdigit() and symbols:
            at = strings + int(name[1:])
            end = data.find(b"\0", at)
            if end < 0:
                raise BadImage(f"section name {name} runs past the end of the file")
            name = data[at:end].decode("ascii", "replace")
        table.append((name, raw_size, raw_offset))
    return table


def release_problems(data, path):
    """Whether this is the released form: no debug sections, no symbols, no link time, and a debug
    link naming Vorlune.scr.debug, with that file's CRC when it lies beside."""
    problems = []
    (pe,) = unpack("<I", data, 0x3C)
    timestamp, _, symbol_count = unpack("<III", data, pe + 8)
    if timestamp != 0:
        problems.append(f"header carries a time stamp ({timestamp:#x}): the build is not reproducible")
    # The string table (long section names) may stay; the symbols may not.
    if symbol_count != 0:
        problems.append(f"carries a symbol table ({symbol_count} symbols)")
    sections = section_table(data)
    debug = [name for name, _, _ in sections if name.startswith((".debug", ".zdebug"))]
    if debug:
        problems.append(f"carries debug information: {', '.join(debug)}")
    links = [(size, offset) for name, size, offset in sections if name == ".gnu_debuglink"]
    if not links:
        problems.append(f"no debug link to {DEBUG_FILE}")
        return problems
    size, offset = links[0]
    link = data[offset:offset + size]
    name, _, _ = link.partition(b"\0")
    if name != DEBUG_FILE.encode():
        problems.append(f"debug link names {name!r}, not {DEBUG_FILE}")
    # The CRC follows the name, padded to four bytes.
    crc_at = (len(name) + 1 + 3) // 4 * 4
    if crc_at + 4 > len(link):
        problems.append("debug link has no CRC")
        return problems
    (crc,) = struct.unpack_from("<I", link, crc_at)
    beside = os.path.join(os.path.dirname(path), DEBUG_FILE)
    if os.path.exists(beside):
        actual = binascii.crc32(open(beside, "rb").read()) & 0xFFFFFFFF
        if crc != actual:
            problems.append(f"debug link CRC {crc:#010x} does not match {beside} ({actual:#010x})")
    return problems


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
try:
    failures.extend(release_problems(data, path))
except BadImage as e:
    failures.append(f"cannot check the released form: {e}")

try:
    block = resource(data, RT_STRING, 1)
    if block is None:
        failures.append("no string table block 1")
    else:
        name = string_block(block)[1]
        if name != SCREENSAVER_NAME:
            failures.append(f'string 1 is "{name}", not "{SCREENSAVER_NAME}"')
    if resource(data, RT_VERSION, 1) is None:
        failures.append("no version resource 1")
    if resource(data, RT_GROUP_ICON, 1) is None:
        failures.append("no icon group 1")
    if resource(data, RT_ICON, 1) is None:
        failures.append("no icon image 1")
    manifest = resource(data, RT_MANIFEST, 1)
    if manifest is None:
        failures.append("no application manifest (resource type 24, id 1)")
    else:
        failures.extend(manifest_problems(manifest))
except BadImage as e:
    failures.append(f"resources unreadable: {e}")

if failures:
    print("\n".join(f"FAIL: {f}" for f in failures))
    print("imports:", ", ".join(dlls))
    sys.exit(1)
print(f"{path}: {want_format}, GUI, imports {', '.join(dlls)}; version 0.0.27.0, icon, string 1 \"{SCREENSAVER_NAME}\", "
      f"manifest; no debug information, symbols or time stamp, debug link to {DEBUG_FILE}")
