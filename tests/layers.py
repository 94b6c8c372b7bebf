#!/usr/bin/env python3
"""The libraries' layers: each library may include only itself and the libraries before it in
VORLUNE_LIBS (CMakeLists.txt), and a top-level header (<lib>/*.h) is portable: no platform header
and no backend header. Platform code lives in one folder per backend (win/: Windows, x11/: X11 and
OpenGL): no portable file, header or source, includes a backend's header, and no backend includes
another backend's headers or its platform's system headers. Tests, benchmarks and fuzz targets (<lib>/tests, bench, fuzz) follow the same
order; they may also use test helpers of their own library and of the ones before it.

With --deps FILE (written by CMake: "lib: used..." per line) it also checks the libraries' link
declarations: each uses only libraries before it, and every library a library's code includes is
among what it links, directly or through another.

Before the check it runs its own self-test: on a copy of the tree with one planted violation at a
time, the check must fail and name the file and line, so that it cannot pass by finding nothing.

    layers.py ROOT [--deps FILE]     check ROOT (self-test first)
    layers.py ROOT --self-test       the self-test alone"""
import contextlib
import os
import re
import shutil
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
PLATFORM_HEADERS = {"windows.h", "ddraw.h", "d3d.h", "d3dtypes.h", "d3dcaps.h", "dinput.h", "dsound.h",
                    "mmsystem.h", "mmreg.h", "commctrl.h", "objbase.h", "ole2.h", "unknwn.h", "richedit.h",
                    "wtsapi32.h", "shellapi.h", "shlobj.h", "guiddef.h"}
# The other backend's system headers: X11, GLX and OpenGL.
X11_HEADER = re.compile(r"^(X11|GL|GLES2|EGL)/")
BACKENDS = ("win", "x11")
# The KERNEL32 subset the runtime's portable code sees: Windows itself, or the native stand-in.
PLATFORM_LAYER = "runtime/platform.h"
SIDE_FOLDERS = ("tests", "bench", "fuzz")
SOURCE_SUFFIXES = (".h", ".cpp")


def library_order(root):
    with open(os.path.join(root, "CMakeLists.txt")) as f:
        m = re.search(r"set\(VORLUNE_LIBS\s+([^)]*)\)", f.read())
    if not m:
        raise SystemExit("layers: no set(VORLUNE_LIBS ...) in CMakeLists.txt")
    return m.group(1).split()


def is_platform_header(name):
    base = name.lower().rsplit("/", 1)[-1]
    return base in PLATFORM_HEADERS or re.fullmatch(r"win[a-z0-9_]*\.h", base) is not None


def backend_of(parts):
    """The backend folder a path (split on /) lies in, or None for portable code."""
    for part in parts[1:-1]:
        if part in BACKENDS:
            return part
    return None


def sources(root, libs):
    for lib in libs:
        top = os.path.join(root, lib)
        for folder, dirs, files in os.walk(top):
            dirs[:] = sorted(d for d in dirs if d not in ("assets", "corpus"))
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(folder, name)
                    yield lib, os.path.relpath(path, root).replace(os.sep, "/")


def includes(root, relative):
    with open(os.path.join(root, relative), errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1) == "<", m.group(2)


def read_deps(path, libs):
    deps = {}
    with open(path) as f:
        for line in f:
            if ":" in line:
                name, used = line.split(":", 1)
                deps[name.strip()] = [u for u in used.split() if u in libs]
    return deps


def closure(deps, lib):
    seen, todo = set(), list(deps.get(lib, []))
    while todo:
        d = todo.pop()
        if d not in seen:
            seen.add(d)
            todo.extend(deps.get(d, []))
    return seen


def check(root, deps_file=None):
    """The violations, one "file:line: why" each."""
    libs = library_order(root)
    rank = {lib: i for i, lib in enumerate(libs)}
    deps = read_deps(deps_file, libs) if deps_file else None
    problems = []
    if deps is not None:
        for lib in libs:
            if lib not in deps:
                problems.append(f"{deps_file}: library {lib} is not declared")
            for used in deps.get(lib, []):
                if rank[used] >= rank[lib]:
                    problems.append(f"{deps_file}: library {lib} links {used}, which is not before it")
    for lib, path in sources(root, libs):
        parts = path.split("/")
        side = len(parts) > 2 and parts[1] in SIDE_FOLDERS
        top_level = len(parts) == 2
        backend = backend_of(parts)
        for line, angled, name in includes(root, path):
            where = f"{path}:{line}"
            if angled:
                if top_level and path.endswith(".h") and path != PLATFORM_LAYER and is_platform_header(name):
                    problems.append(f"{where}: top-level header includes the platform header <{name}>")
                elif X11_HEADER.match(name) and backend != "x11":
                    problems.append(f"{where}: {'portable code' if backend is None else backend + '/ code'} "
                                    f"includes the X11/OpenGL header <{name}>")
                elif backend == "x11" and is_platform_header(name):
                    problems.append(f"{where}: x11/ code includes the Windows header <{name}>")
                continue
            target = name.split("/")
            other = target[0]
            if other not in rank:
                continue
            included_backend = backend_of(target)
            if included_backend and backend is None and not path.endswith(".h") and not side:
                problems.append(f"{where}: portable source includes the {included_backend}/ backend's {name}")
            elif included_backend and backend and included_backend != backend:
                problems.append(f"{where}: {backend}/ code includes the {included_backend}/ backend's {name}")
            if rank[other] > rank[lib]:
                problems.append(f"{where}: {lib} includes {name} of {other}, a later library "
                                f"(order: {' '.join(libs)})")
                continue
            if not side and len(target) > 2 and target[1] in SIDE_FOLDERS:
                problems.append(f"{where}: library code includes {name}, a {target[1]} helper")
            if top_level and path.endswith(".h"):
                if included_backend:
                    problems.append(f"{where}: top-level header includes the backend header {name}")
                elif name == PLATFORM_LAYER and lib != "runtime":
                    problems.append(f"{where}: top-level header of {lib} includes {name}; "
                                    "platform types stay in win/ headers")
            if deps is not None and not side and other != lib and other not in closure(deps, lib):
                problems.append(f"{where}: {lib} includes {name} but does not link {other}")
    return problems


# ---- self-test ------------------------------------------------------------------------------

def copy_tree(root, into, libs):
    shutil.copy(os.path.join(root, "CMakeLists.txt"), into)
    for lib, path in sources(root, libs):
        os.makedirs(os.path.join(into, os.path.dirname(path)), exist_ok=True)
        shutil.copy(os.path.join(root, path), os.path.join(into, path))


def plant(into, path, text):
    """Appends one line to the file (made if missing); returns its line number."""
    full = os.path.join(into, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    lines = open(full).read().splitlines() if os.path.exists(full) else []
    lines.append(text)
    with open(full, "w") as f:
        f.write("\n".join(lines) + "\n")
    return len(lines)


@contextlib.contextmanager
def scratch_copy(root, libs, links=None):
    """The libraries copied to a scratch folder, with a file of what each links (links(i, lib)) as
    CMake writes it, or none when links is None: (folder, that file or None)."""
    with tempfile.TemporaryDirectory(prefix="layers-") as scratch:
        copy_tree(root, scratch, libs)
        deps_file = None
        if links:
            deps_file = os.path.join(scratch, "layers.txt")
            with open(deps_file, "w") as f:
                f.writelines(f"{lib}: {' '.join(links(i, lib))}\n" for i, lib in enumerate(libs))
        yield scratch, deps_file


def self_test(root):
    libs = library_order(root)
    first, second, last = libs[0], libs[1], libs[-1]
    cases = [
        # (what, file, planted line[, links of the libraries that differ from the layering])
        ("a library including a later one", f"{first}/win/planted.cpp", f'#include "{last}/planted.h"'),
        ("a portable source including a later one", f"{second}/planted.cpp", f'#include "{last}/planted.h"'),
        ("a top-level header including <windows.h>", f"{second}/planted.h", "#include <windows.h>"),
        ("a top-level header including <ddraw.h>", f"{last}/planted.h", "#include <ddraw.h>"),
        ("a top-level header including a win/ header", f"{last}/planted.h", f'#include "{first}/win/planted.h"'),
        ("a top-level header including the platform layer", f"{second}/planted.h", f'#include "{PLATFORM_LAYER}"'),
        ("a test including a later library", f"{first}/tests/win/planted_test.cpp", f'#include "{second}/planted.h"'),
        ("a benchmark including a later library", f"{second}/bench/planted.cpp", f'#include "{last}/planted.h"'),
        ("library code including a test helper", f"{second}/win/planted.cpp", f'#include "{first}/tests/helper.h"'),
        ("a portable source including a backend header", f"{last}/planted.cpp", f'#include "{first}/x11/planted.h"'),
        ("a top-level header including an x11/ header", f"{second}/planted.h", f'#include "{first}/x11/planted.h"'),
        ("a win/ source including an x11/ header", f"{last}/win/planted.cpp", f'#include "{first}/x11/planted.h"'),
        ("an x11/ source including a win/ header", f"{last}/x11/planted.cpp", f'#include "{first}/win/planted.h"'),
        ("an x11/ source including <windows.h>", f"{second}/x11/planted.cpp", "#include <windows.h>"),
        ("a win/ source including <X11/Xlib.h>", f"{second}/win/planted.cpp", "#include <X11/Xlib.h>"),
        ("a portable source including <GL/gl.h>", f"{last}/planted.cpp", "#include <GL/gl.h>"),
        ("an include of a library not linked", f"{last}/win/planted.cpp", f'#include "{second}/planted.h"',
         {last: [first]}),
    ]
    failures = []
    for what, path, text, *links in cases:
        linked = (lambda i, lib: links[0].get(lib, libs[:i])) if links else None
        with scratch_copy(root, libs, linked) as (scratch, deps_file):
            before = set(check(scratch, deps_file))
            line = plant(scratch, path, text)
            found = [p for p in check(scratch, deps_file) if p not in before]
            if not any(p.startswith(f"{path}:{line}:") for p in found):
                failures.append(f"self-test: {what} ({path}:{line}) was not reported; found {found}")
    with scratch_copy(root, libs, lambda i, lib: libs[:i] + ([last] if i == 0 else [])) as (scratch, deps_file):
        if not any(f"library {first} links {last}" in p for p in check(scratch, deps_file)):
            failures.append(f"self-test: {first} linking {last} was not reported")
    return failures


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(args[0])
    deps_file = None
    if "--deps" in argv:
        i = argv.index("--deps")
        if i + 1 >= len(argv):
            print("layers: --deps needs a file", file=sys.stderr)
            return 2
        deps_file = argv[i + 1]
        args = [a for a in args if a != deps_file]
    failures = self_test(root)
    for f in failures:
        print(f)
    if failures:
        print("layers: FAILED (the self-test did not see a planted violation)")
        return 1
    if "--self-test" in argv:
        print("layers: self-test passed")
        return 0
    problems = check(root, deps_file)
    for p in problems:
        print(p)
    if problems:
        print(f"layers: FAILED ({len(problems)} violations)")
        return 1
    print(f"layers: passed ({' '.join(library_order(root))})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
