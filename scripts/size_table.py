#!/usr/bin/env python3
"""What takes the space in a Windows build's Vorlune.scr: its sections (bytes in the file) and the
code and data of each library, from the symbols of Vorlune.exe (the same link before stripping).
A symbol's size is the distance to the next symbol of its section; each is put down to the library
that defines it (the project's folders by their object files, libpng, zlib, the C++ and C run-time
libraries of the toolchain), or "other" (the linker's own, or found in no library).

    size_table.py BUILD_DIR [TOOL_PREFIX]     (tool prefix default: from the executable's machine)"""
import collections
import glob
import os
import re
import subprocess
import sys


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


def sections(tools, path):
    """[(name, size, vma, loaded)] from objdump -h."""
    found = []
    lines = run(tools + "objdump", "-h", path).splitlines()
    for i, line in enumerate(lines):
        m = re.match(r"\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s", line)
        if m:
            flags = lines[i + 1] if i + 1 < len(lines) else ""
            found.append((m.group(1), int(m.group(2), 16), int(m.group(3), 16), "CONTENTS" in flags))
    return found


def defined(tools, path):
    names = set()
    for line in run(tools + "nm", "--defined-only", path).splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in "TtDdRrBb":
            names.add(parts[2])
    return names


def owners(tools, build):
    """Symbol name -> library name."""
    owner = {}
    # One static library per folder, its objects under CMakeFiles/<folder>.dir/<folder>/.
    for objects in sorted(glob.glob(os.path.join(build, "CMakeFiles", "*.dir"))):
        library = os.path.basename(objects)[:-len(".dir")]
        for obj in glob.glob(os.path.join(objects, "**", "*.obj"), recursive=True):
            folder = os.path.relpath(obj, objects).split(os.sep)[0]
            if folder != library and not (library == "app" and folder == "generated"):
                continue   # tests, benchmarks, libpng, GoogleTest
            for name in defined(tools, obj):
                owner.setdefault(name, "app (pictures)" if folder == "generated" else folder)
    main = glob.glob(os.path.join(build, "CMakeFiles", "Vorlune.dir", "**", "*.obj"), recursive=True)
    for obj in main:
        for name in defined(tools, obj):
            owner.setdefault(name, "app")
    sysroot = "/usr/%s/lib" % tools.rstrip("-")
    archives = [(os.path.join(build, "libpng_read.a"), "libpng"), (os.path.join(sysroot, "libz.a"), "zlib")]
    gcc = glob.glob("/usr/lib/gcc/%s/*-posix/" % tools.rstrip("-"))
    for d in gcc:
        archives += [(os.path.join(d, "libstdc++.a"), "C++ run-time"), (os.path.join(d, "libsupc++.a"), "C++ run-time"),
                     (os.path.join(d, "libgcc.a"), "C run-time"), (os.path.join(d, "libgcc_eh.a"), "C run-time")]
    for a in glob.glob(os.path.join(sysroot, "lib*.a")):
        archives.append((a, "C run-time"))
    for path, label in archives:
        if os.path.exists(path):
            try:
                for name in defined(tools, path):
                    owner.setdefault(name, label)
            except subprocess.CalledProcessError:
                pass
    return owner


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = sys.argv[1]
    scr, exe = os.path.join(build, "Vorlune.scr"), os.path.join(build, "Vorlune.exe")
    head = run("file", "-b", scr)
    tools = sys.argv[2] if len(sys.argv) > 2 else ("x86_64-w64-mingw32-" if "x86-64" in head else "i686-w64-mingw32-")
    total = os.path.getsize(scr)
    print(f"{scr}: {total} bytes")
    print("  by section (bytes in the file; .bss takes none):")
    for name, size, _, loaded in sections(tools, scr):
        print(f"    {name:16s} {size if loaded else 0:9d}" + ("" if loaded else f"   ({size} in memory)"))
    secs = [(vma, vma + size, name) for name, size, vma, loaded in sections(tools, exe)]
    owner = owners(tools, build)
    symbols = []
    for line in run(tools + "nm", "-n", "--defined-only", exe).splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in "TtDdRrBb":
            symbols.append((int(parts[0], 16), parts[2]))
    by = collections.defaultdict(lambda: collections.Counter())
    for i, (address, name) in enumerate(symbols):
        section = next((s for s in secs if s[0] <= address < s[1]), None)
        if not section:
            continue
        end = section[1]
        if i + 1 < len(symbols) and symbols[i + 1][0] < end:
            end = symbols[i + 1][0]
        by[owner.get(name, "other")][section[2]] += end - address
    print("  by library (bytes of code .text, read-only data .rdata, data .data, zero-filled .bss):")
    print(f"    {'library':16s} {'.text':>9s} {'.rdata':>9s} {'.data':>9s} {'.bss':>9s}")
    for lib, counts in sorted(by.items(), key=lambda kv: -sum(kv[1][s] for s in (".text", ".rdata", ".data"))):
        print(f"    {lib:16s} {counts['.text']:9d} {counts['.rdata']:9d} {counts['.data']:9d} {counts['.bss']:9d}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
