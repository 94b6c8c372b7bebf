#!/usr/bin/env python3
"""The Windows setup program (scripts/installer.sh, installer/vorlune.nsi) under Wine, in a scratch
directory with a Wine prefix and Xvfb display of its own (a fresh 64-bit prefix every run, plus a
32-bit one for the 32-bit Windows case).

    test_installer.py WIN32_BUILD [--win64 WIN64_BUILD] [--setup SETUP_EXE] [--scratch DIR] [CASE...]
    test_installer.py --cases

The builds must hold Vorlune.scr; WIN64_BUILD (default: WIN32_BUILD's name with win32 replaced by
win64) also host.exe, the 64-bit host that starts the installed saver as 64-bit Windows' settings
would. Without --setup the setup program is built from the two Vorlune.scr with scripts/installer.sh;
with it, that very file is tested. The scratch directory (default WIN32_BUILD/installer-test) is
emptied first, removed after a pass and kept after a failure. Every case starts from a machine
without Vorlune.
Exit code 0 when all passed, 1 when a check failed, 2 on bad usage, 77 (skipped) where the machine
cannot execute 32-bit programs: the setup program is one."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
import vorlune_e2e as e2e  # noqa: E402

WINE_DIR = os.path.join(TOP, "tests", "wine")
MARKER = ".vorlune-installer-test"
UNINST = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
KEY = UNINST + r"\Vorlune"
DESKTOP = r"HKCU\Control Panel\Desktop"
INSTALLED = r"C:\windows\system32\Vorlune.scr"
PROGRAM_DIR = r"C:\Program Files\Vorlune"
TIMEOUT_VALUE = "420"        # a user's own ScreenSaveTimeOut, which setup must leave alone
OLD_VERSION = "0.9.0"
LIMIT = 180                  # seconds for one Wine program (a loaded machine)


def project_version(build):
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            for line in f:
                if line.startswith("CMAKE_PROJECT_VERSION:STATIC="):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return None


class Wine:
    """Runs programs in one Wine prefix; output goes to a file (Wine's background processes may
    hold a pipe open)."""

    def __init__(self, scratch, prefix32=None):
        self.scratch = scratch
        self.prefix32 = prefix32
        self.prefix = prefix32 or e2e.wine_prefix(scratch)

    def command(self, args):
        if not self.prefix32:
            return [os.path.join(WINE_DIR, "run.sh"), self.scratch] + list(args)
        return ["/usr/lib/wine/wine"] + list(args)

    def env(self):
        env = dict(os.environ)
        if self.prefix32:
            env.update(WINEPREFIX=self.prefix32, WINEARCH="win32", WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                       HOME=os.path.join(self.scratch, "wine", "home"), DISPLAY=e2e.display_of(self.scratch))
        return env

    def run(self, *args, timeout=LIMIT):
        with tempfile.TemporaryFile() as out:
            try:
                done = subprocess.run(self.command(args), stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, env=self.env(), timeout=timeout,
                                      start_new_session=True)
                code = done.returncode
            except subprocess.TimeoutExpired:
                code = None
            out.seek(0)
            return code, out.read().decode(errors="replace")

    def unix(self, windows_path):
        """The prefix's file for a C: path."""
        rest = windows_path[3:] if windows_path[:3].upper() == "C:\\" else None
        if rest is None:
            raise ValueError(f"not a C: path: {windows_path!r}")
        return os.path.join(self.prefix, "drive_c", *rest.split("\\"))

    def reg_query(self, key, view=None, recurse=False):
        """{key: {value name: (type, data)}}, or None when the key does not exist."""
        args = ["reg", "query", key] + (["/s"] if recurse else []) + ([f"/reg:{view}"] if view else [])
        code, out = self.run(*args)
        if code != 0:
            # Only a missing key means "not there"; reg.exe failing otherwise must not pass for it.
            if code == 1 and "unable to find" in out.lower():
                return None
            raise RuntimeError(f"reg query {key} failed: exit code {code}, output {out[-300:]!r}")
        keys, current = {}, None
        for line in out.splitlines():
            line = line.rstrip("\r")
            if line.startswith("HKEY_"):
                current = keys.setdefault(line.strip(), {})
                continue
            m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line)
            if m and current is not None:
                current[m.group(1)] = (m.group(2), m.group(3) or "")
        return keys

    def reg_values(self, key, view=None):
        keys = self.reg_query(key, view)
        if keys is None:
            return None
        return next(iter(keys.values()), {})

    def reg(self, *args):
        code, out = self.run("reg", *args, "/f")
        if code != 0:
            raise RuntimeError(f"reg {' '.join(args)} failed: exit code {code}, output {out[-300:]!r}")


def files_named(directory, prefix):
    try:
        return sorted(n for n in os.listdir(directory) if n.lower().startswith(prefix.lower()))
    except OSError:
        return []


def same_bytes(a, b):
    try:
        with open(a, "rb") as f, open(b, "rb") as g:
            return f.read() == g.read()
    except OSError:
        return False


class Context:
    def __init__(self, args, scratch, setup, old_setup, scr32, scr64):
        self.args, self.scratch, self.setup, self.old_setup = args, scratch, setup, old_setup
        self.scr32, self.scr64 = scr32, scr64
        self.wine = Wine(scratch)
        self.system32 = os.path.join(self.wine.prefix, "drive_c", "windows", "system32")
        self.syswow64 = os.path.join(self.wine.prefix, "drive_c", "windows", "syswow64")


# ---------------------------------------------------------------------------------------------
# Setting the machine up and looking at it.

def reset(wine):
    """A machine without Vorlune, whatever an earlier case left; the user's timeout is set."""
    for d in ("system32", "syswow64"):
        path = os.path.join(wine.prefix, "drive_c", "windows", d, "Vorlune.scr")
        if os.path.exists(path):
            os.remove(path)
    shutil.rmtree(wine.unix(PROGRAM_DIR), ignore_errors=True)
    temp = wine.unix(r"C:\users")
    for user in os.listdir(temp):
        t = os.path.join(temp, user, "Temp")
        for n in files_named(t, "~nsu"):
            shutil.rmtree(os.path.join(t, n), ignore_errors=True)
    for view in ("64", "32") if not wine.prefix32 else (None,):
        if wine.reg_values(KEY, view) is not None:
            wine.reg("delete", KEY, *([f"/reg:{view}"] if view else []))
    values = wine.reg_values(DESKTOP) or {}
    if "SCRNSAVE.EXE" in values:
        wine.reg("delete", DESKTOP, "/v", "SCRNSAVE.EXE")
    wine.reg("add", DESKTOP, "/v", "ScreenSaveTimeOut", "/t", "REG_SZ", "/d", TIMEOUT_VALUE)


def install(ctx, failures, setup=None, what="setup /S"):
    code, out = ctx.wine.run(setup or ctx.setup, "/S")
    return failures.check(code == 0, f"{what}: exit code {code}, expected 0 (output {out[-300:]!r})")


def entries_named(wine, name):
    """Uninstall entries of both registry views whose DisplayName is name."""
    found = []
    for view in ("64", "32"):
        for key, values in (wine.reg_query(UNINST, view, recurse=True) or {}).items():
            if values.get("DisplayName", (None, None))[1] == name:
                found.append(f"{key} (view {view})")
    return found


def check_installed(ctx, failures, version, what):
    """What a silent install on 64-bit Windows must leave: the win64 saver in the real System32,
    its entry in Apps & features, and it as the user's screensaver."""
    wine = ctx.wine
    installed = os.path.join(ctx.system32, "Vorlune.scr")
    failures.check(same_bytes(installed, ctx.scr64),
                   f"{what}: system32\\Vorlune.scr is not the win64 build's Vorlune.scr")
    failures.check(files_named(ctx.system32, "vorlune") == ["Vorlune.scr"],
                   f"{what}: system32 holds {files_named(ctx.system32, 'vorlune')}, expected only Vorlune.scr")
    failures.check(not files_named(ctx.syswow64, "vorlune"),
                   f"{what}: syswow64 holds {files_named(ctx.syswow64, 'vorlune')}")
    folder = wine.unix(PROGRAM_DIR)
    listing = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
    failures.check(listing == ["uninstall.exe"], f"{what}: {PROGRAM_DIR} holds {listing}, expected uninstall.exe")

    values = wine.reg_values(KEY, "64")
    if not failures.check(values is not None, f"{what}: no {KEY} in the 64-bit registry"):
        return
    uninstaller = os.path.join(folder, "uninstall.exe")
    size = sum(os.path.getsize(p) for p in (installed, uninstaller) if os.path.exists(p))
    expected = {
        "DisplayName": ("REG_SZ", "Vorlune Screensaver"),
        "DisplayVersion": ("REG_SZ", version),
        "Publisher": ("REG_SZ", "Talveno Softworks"),
        "DisplayIcon": ("REG_SZ", INSTALLED + ",0"),
        "UninstallString": ("REG_SZ", f'"{PROGRAM_DIR}\\uninstall.exe"'),
        "QuietUninstallString": ("REG_SZ", f'"{PROGRAM_DIR}\\uninstall.exe" /S'),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
        "EstimatedSize": ("REG_DWORD", hex((size + 1023) // 1024)),
    }
    for name, (kind, data) in expected.items():
        got = values.get(name)
        failures.check(got is not None and got[0] == kind and got[1].lower() == data.lower(),
                       f"{what}: {name} is {got}, expected {kind} {data!r}")
    failures.check(wine.reg_values(KEY, "32") is None, f"{what}: an entry in the 32-bit registry (WOW6432Node)")
    entries = entries_named(wine, "Vorlune Screensaver")
    failures.check(len(entries) == 1, f"{what}: {len(entries)} uninstall entries named Vorlune Screensaver: {entries}")

    desktop = wine.reg_values(DESKTOP) or {}
    saver = desktop.get("SCRNSAVE.EXE")
    failures.check(saver is not None and saver[0] == "REG_SZ" and saver[1].lower() == INSTALLED.lower(),
                   f"{what}: SCRNSAVE.EXE is {saver}, expected {INSTALLED}")
    failures.check(desktop.get("ScreenSaveActive") == ("REG_SZ", "1"),
                   f"{what}: ScreenSaveActive is {desktop.get('ScreenSaveActive')}, expected REG_SZ '1'")
    failures.check(desktop.get("ScreenSaveTimeOut") == ("REG_SZ", TIMEOUT_VALUE),
                   f"{what}: ScreenSaveTimeOut is {desktop.get('ScreenSaveTimeOut')}, expected it left at {TIMEOUT_VALUE}")
    failures.check(not files_named(ctx.system32, "vorlune-setup-probe"), f"{what}: the rights probe file was left")


def uninstall(ctx, failures, what):
    """Runs the entry's QuietUninstallString and waits for the copy NSIS runs it from to end."""
    values = ctx.wine.reg_values(KEY, "64") or {}
    quiet = values.get("QuietUninstallString", (None, ""))[1]
    m = re.fullmatch(r'"([^"]+)" /S', quiet)
    if not failures.check(m is not None, f"{what}: QuietUninstallString {quiet!r} is not '\"PATH\" /S'"):
        return False
    code, out = ctx.wine.run(m.group(1), "/S")
    if not failures.check(code == 0, f"{what}: {quiet}: exit code {code} (output {out[-300:]!r})"):
        return False
    # The uninstaller hands over to a copy of itself in %TEMP% (Un.exe) and returns at once.
    end = time.time() + LIMIT
    quiet_since = None
    while time.time() < end:
        if e2e.our_processes(ctx.scratch, names=("un.exe", "au_.exe", "uninstall.exe")):
            quiet_since = None
        elif quiet_since is None:
            quiet_since = time.time()
        elif time.time() - quiet_since >= 1.0:
            return True
        time.sleep(0.2)
    failures.check(False, f"{what}: the uninstaller still runs after {LIMIT} s")
    return False


def check_removed(ctx, failures, what):
    wine = ctx.wine
    failures.check(not files_named(ctx.system32, "vorlune"), f"{what}: system32 still holds {files_named(ctx.system32, 'vorlune')}")
    failures.check(not os.path.exists(wine.unix(PROGRAM_DIR)), f"{what}: {PROGRAM_DIR} is still there")
    failures.check(wine.reg_values(KEY, "64") is None and wine.reg_values(KEY, "32") is None,
                   f"{what}: the uninstall entry is still there")
    entries = entries_named(wine, "Vorlune Screensaver")
    failures.check(not entries, f"{what}: uninstall entries left: {entries}")
    desktop = wine.reg_values(DESKTOP) or {}
    failures.check(desktop.get("ScreenSaveTimeOut") == ("REG_SZ", TIMEOUT_VALUE),
                   f"{what}: ScreenSaveTimeOut is {desktop.get('ScreenSaveTimeOut')}, expected {TIMEOUT_VALUE}")
    # NSIS leaves its uninstaller's copy in %TEMP% for Windows to delete at the next start.
    code, _ = wine.run("wineboot", "-r")
    temp = wine.unix(r"C:\users")
    left = [os.path.join(u, "Temp", n) for u in os.listdir(temp)
            for n in files_named(os.path.join(temp, u, "Temp"), "~nsu")]
    failures.check(code == 0 and not left, f"{what}: after a restart (wineboot -r, exit code {code}) %TEMP% holds {left}")


# ---------------------------------------------------------------------------------------------
# The cases.

def refused(ctx, failures):
    """Without the right to write the system folder: a message box, exit code 1, nothing changed.
    (The session runs without the root's right to ignore file modes; see start_session.)"""
    wine = ctx.wine
    before_desktop = wine.reg_values(DESKTOP)
    before_programs = sorted(os.listdir(wine.unix(r"C:\Program Files")))
    before_system = sorted(os.listdir(ctx.system32))
    mode = os.stat(ctx.system32).st_mode & 0o7777
    os.chmod(ctx.system32, 0o555)
    try:
        code, out = wine.run(ctx.setup, "/S")
        failures.check(code == 1, f"/S without rights: exit code {code}, expected 1 (output {out[-300:]!r})")
        run = e2e.run_host(ctx.scratch, "saver", e2e.windows_path(ctx.setup), "start", "", "findbox", "60000",
                           "press", "5000", "wait", "60000", "kill", timeout=LIMIT)
        box = run.first("box") or {}
        ok = failures.check("administrator" in box.get("text", ""),
                            f"without rights: no message box about administrator rights (box {box})")
        exits = run.find("exit")
        ok &= failures.check(bool(exits) and exits[-1].get("code") == "1",
                             f"without rights: exit code {exits[-1] if exits else None} after OK, expected 1")
        print(f"message box: {box.get('text', '')!r}", flush=True)
        if not ok:
            print(run, flush=True)
    finally:
        os.chmod(ctx.system32, mode)
    failures.check(sorted(os.listdir(ctx.system32)) == before_system, "without rights: system32 changed")
    failures.check(sorted(os.listdir(wine.unix(r"C:\Program Files"))) == before_programs,
                   "without rights: Program Files changed")
    failures.check(wine.reg_values(KEY, "64") is None and wine.reg_values(KEY, "32") is None,
                   "without rights: an uninstall entry was written")
    failures.check(wine.reg_values(DESKTOP) == before_desktop,
                   "without rights: HKCU\\Control Panel\\Desktop changed")


def installs(ctx, failures):
    if not install(ctx, failures):
        return
    check_installed(ctx, failures, ctx.args.version, "install")
    # As the settings of 64-bit Windows would: a 64-bit program starts what SCRNSAVE.EXE names.
    saver = (ctx.wine.reg_values(DESKTOP) or {}).get("SCRNSAVE.EXE", (None, INSTALLED))[1]
    run = e2e.run_host(ctx.scratch, "saver", saver, "start", "/c", "findbox", "30000", "press", "5000",
                       "wait", "30000", "kill", timeout=LIMIT)
    box = run.first("box") or {}
    ok = failures.check(box.get("caption") == e2e.ABOUT_CAPTION and box.get("text") == e2e.ABOUT_TEXT,
                        f"{saver} /c: no About box (box {box})")
    exits = run.find("exit")
    ok &= failures.check(bool(exits) and exits[-1].get("code") == "0",
                         f"{saver} /c: exit code {exits[-1] if exits else None} after OK, expected 0")
    print(f"{saver} /c: About box {box.get('caption')!r}, exit code {exits[-1].get('code') if exits else None}",
          flush=True)
    if not ok:
        print(run, flush=True)


def upgrade(ctx, failures):
    """An earlier version installed (and its file since changed), then this one over it."""
    if not install(ctx, failures, ctx.old_setup, f"setup {OLD_VERSION} /S"):
        return
    values = ctx.wine.reg_values(KEY, "64") or {}
    failures.check(values.get("DisplayVersion") == ("REG_SZ", OLD_VERSION),
                   f"setup {OLD_VERSION}: DisplayVersion {values.get('DisplayVersion')}")
    with open(os.path.join(ctx.system32, "Vorlune.scr"), "ab") as f:
        f.write(b"an older build")
    if not install(ctx, failures, what="setup over an earlier version"):
        return
    check_installed(ctx, failures, ctx.args.version, "upgrade")
    if not install(ctx, failures, what="setup over the same version"):
        return
    check_installed(ctx, failures, ctx.args.version, "second install")


def uninstalls(ctx, failures):
    if install(ctx, failures) and uninstall(ctx, failures, "uninstall"):
        check_removed(ctx, failures, "uninstall")
        saver = (ctx.wine.reg_values(DESKTOP) or {}).get("SCRNSAVE.EXE")
        failures.check(saver is None, f"uninstall: SCRNSAVE.EXE is still {saver}")


def keeps_other_choice(ctx, failures):
    other = r"C:\windows\system32\scrnsave.scr"
    if not install(ctx, failures):
        return
    ctx.wine.reg("add", DESKTOP, "/v", "SCRNSAVE.EXE", "/t", "REG_SZ", "/d", other)
    if uninstall(ctx, failures, "uninstall after another saver was chosen"):
        check_removed(ctx, failures, "uninstall after another saver was chosen")
        saver = (ctx.wine.reg_values(DESKTOP) or {}).get("SCRNSAVE.EXE")
        failures.check(saver == ("REG_SZ", other), f"another saver chosen: SCRNSAVE.EXE is {saver}, expected {other}")


def scr_already_gone(ctx, failures):
    if not install(ctx, failures):
        return
    os.remove(os.path.join(ctx.system32, "Vorlune.scr"))
    if uninstall(ctx, failures, "uninstall without Vorlune.scr"):
        check_removed(ctx, failures, "uninstall without Vorlune.scr")
        saver = (ctx.wine.reg_values(DESKTOP) or {}).get("SCRNSAVE.EXE")
        failures.check(saver is None, f"uninstall without Vorlune.scr: SCRNSAVE.EXE is still {saver}")


def windows32(ctx, failures):
    """32-bit Windows (a 32-bit prefix of its own): the win32 saver in its System32."""
    prefix = os.path.join(ctx.scratch, "wine", "prefix32")
    wine = Wine(ctx.scratch, prefix)
    try:
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            wine.run("wineboot", "-i", timeout=300)
        if not failures.check(os.path.isdir(os.path.join(prefix, "drive_c", "windows", "system32")) and
                              not os.path.isdir(os.path.join(prefix, "drive_c", "windows", "syswow64")),
                              "could not make a 32-bit Wine prefix"):
            return
        reset(wine)
        code, out = wine.run(ctx.setup, "/S")
        if not failures.check(code == 0, f"32-bit Windows: setup /S exit code {code} ({out[-300:]!r})"):
            return
        system32 = os.path.join(prefix, "drive_c", "windows", "system32")
        failures.check(same_bytes(os.path.join(system32, "Vorlune.scr"), ctx.scr32),
                       "32-bit Windows: system32\\Vorlune.scr is not the win32 build's Vorlune.scr")
        values = wine.reg_values(KEY) or {}
        failures.check(values.get("QuietUninstallString") == ("REG_SZ", f'"{PROGRAM_DIR}\\uninstall.exe" /S'),
                       f"32-bit Windows: QuietUninstallString {values.get('QuietUninstallString')}")
        failures.check(values.get("DisplayIcon", ("", ""))[1].lower() == (INSTALLED + ",0").lower(),
                       f"32-bit Windows: DisplayIcon {values.get('DisplayIcon')}")
        saver = (wine.reg_values(DESKTOP) or {}).get("SCRNSAVE.EXE")
        failures.check(saver is not None and saver[1].lower() == INSTALLED.lower(),
                       f"32-bit Windows: SCRNSAVE.EXE is {saver}")
        code, out = wine.run(PROGRAM_DIR + r"\uninstall.exe", "/S")
        end = time.time() + LIMIT
        while time.time() < end and (os.path.exists(os.path.join(system32, "Vorlune.scr")) or
                                     wine.reg_values(KEY) is not None):
            time.sleep(1)
        failures.check(not os.path.exists(os.path.join(system32, "Vorlune.scr")) and wine.reg_values(KEY) is None
                       and not os.path.exists(wine.unix(PROGRAM_DIR)),
                       f"32-bit Windows: uninstall (exit code {code}) left the file, entry or folder")
    finally:
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=wine.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


CASES = {"refused": refused, "install": installs, "upgrade": upgrade, "uninstall": uninstalls,
         "keeps_other_choice": keeps_other_choice, "scr_already_gone": scr_already_gone,
         "windows32": windows32}


# ---------------------------------------------------------------------------------------------

def start_session(scratch):
    """The scratch directory's display and prefix. As root, Wine (its server opens the files) runs
    without the right to ignore file modes, so a read-only folder is one to it, as to a user
    without administrator rights."""
    command = [os.path.join(WINE_DIR, "start.sh"), scratch]
    if os.geteuid() == 0:
        caps = "-dac_override,-dac_read_search,-fowner"
        command = ["setpriv", f"--bounding-set={caps}", f"--inh-caps={caps}", "--"] + command
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if done.returncode != 0:
        print(f"FAIL: could not start the Wine session in {scratch}: {done.stdout}{done.stderr}", flush=True)
        return False
    return True


def stop_session(scratch):
    subprocess.run([os.path.join(WINE_DIR, "stop.sh"), scratch], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


def fresh_scratch(scratch):
    """Empties the scratch directory, which must be one of this test's (or not exist yet)."""
    if os.path.exists(scratch):
        if not os.path.exists(os.path.join(scratch, MARKER)):
            print(f"FAIL: {scratch} exists and is not this test's scratch directory (no {MARKER})", flush=True)
            return False
        stop_session(scratch)
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, WINEPREFIX=os.path.join(scratch, "wine", "prefix32")))
        shutil.rmtree(scratch)
    os.makedirs(scratch)
    open(os.path.join(scratch, MARKER), "w").close()
    return True


def parse_args():
    import argparse
    p = argparse.ArgumentParser(description="Tests the Windows setup program under Wine.")
    p.add_argument("win32_build")
    p.add_argument("--win64", dest="win64_build")
    p.add_argument("--setup", help="the setup program to test (default: build one)")
    p.add_argument("--scratch", help="scratch directory (default WIN32_BUILD/installer-test)")
    p.add_argument("cases", nargs="*", metavar="CASE")
    args = p.parse_intermixed_args()
    args.win32_build = os.path.abspath(args.win32_build)
    if not args.win64_build:
        parent, name = os.path.split(args.win32_build)
        if "win32" not in name:
            p.error("give --win64: WIN32_BUILD's name does not contain win32")
        args.win64_build = os.path.join(parent, name.replace("win32", "win64"))
    args.win64_build = os.path.abspath(args.win64_build)
    args.scratch = os.path.abspath(args.scratch or os.path.join(args.win32_build, "installer-test"))
    unknown = [c for c in args.cases if c not in CASES]
    if unknown:
        p.error(f"no case {unknown}; the cases are {' '.join(CASES)}")
    return args


def main():
    if sys.argv[1:] == ["--cases"]:
        print(" ".join(CASES))
        return 0
    args = parse_args()
    scr32 = os.path.join(args.win32_build, "Vorlune.scr")
    scr64 = os.path.join(args.win64_build, "Vorlune.scr")
    host64 = os.path.join(args.win64_build, "host.exe")
    for path, bits in ((scr32, 32), (scr64, 64), (host64, 64)):
        if e2e.pe_bits(path) != bits:
            print(f"FAIL: {path} is not a {bits}-bit Windows program (build it first)", flush=True)
            return 1
    e2e.require_32bit_programs("the setup program is a 32-bit program: ")
    args.version = project_version(args.win32_build)
    if not args.version:
        print(f"FAIL: no project version in {args.win32_build}/CMakeCache.txt", flush=True)
        return 1
    if not fresh_scratch(args.scratch):
        return 1

    installer = os.path.join(TOP, "scripts", "installer.sh")
    setup = os.path.abspath(args.setup) if args.setup else os.path.join(args.scratch, f"Vorlune-{args.version}-setup.exe")
    old_setup = os.path.join(args.scratch, f"Vorlune-{OLD_VERSION}-setup.exe")
    builds = [(args.version, setup)] if not args.setup else []
    builds.append((OLD_VERSION, old_setup))
    for version, out in builds:
        done = subprocess.run([installer, version, scr32, scr64, out], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        if done.returncode != 0:
            print(f"FAIL: scripts/installer.sh {version} did not build a setup program:\n{done.stdout}{done.stderr}",
                  flush=True)
            return 1
    if e2e.pe_bits(setup) != 32:
        print(f"FAIL: {setup} is not a 32-bit Windows program", flush=True)
        return 1
    shutil.copyfile(host64, os.path.join(args.scratch, "host.exe"))
    print(f"setup: {setup} ({os.path.getsize(setup)} bytes), version {args.version}", flush=True)
    print(f"savers: {scr32} (32-bit), {scr64} (64-bit); host: {host64}; scratch: {args.scratch}", flush=True)

    failures = e2e.Failures("test_installer")
    ctx = Context(args, args.scratch, setup, old_setup, scr32, scr64)
    if not start_session(args.scratch):
        return 1
    try:
        for case in args.cases or list(CASES):
            print(f"== {case}", flush=True)
            began = time.time()
            try:
                if case != "windows32":
                    reset(ctx.wine)
                CASES[case](ctx, failures)
            except (RuntimeError, OSError, ValueError, subprocess.SubprocessError) as e:
                failures.check(False, f"{case}: {e}")
            e2e.no_processes_left(args.scratch, failures)
            print(f"== {case}: {time.time() - began:.0f} s", flush=True)
    finally:
        stop_session(args.scratch)
    code = failures.report()
    if code == 0:
        # Two Wine prefixes are about 2 GB; they are kept only when there is something to look at.
        shutil.rmtree(args.scratch, ignore_errors=True)
    else:
        print(f"the scratch directory {args.scratch} is kept for a look", flush=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
