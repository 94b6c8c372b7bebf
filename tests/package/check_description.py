#!/usr/bin/env python3
"""What the Debian package says about the program, against the program (no display needed):
packaging/linux/vorlune.xml is XScreenSaver's format for an OpenGL program, and the program accepts
its command and every option it offers; the man page renders without a warning and documents each
of them, as --help does.

    check_description.py PROGRAM"""
import gzip
import os
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SOURCE = os.path.join(TOP, "packaging", "linux")


def main(program):
    problems = []
    root = ElementTree.parse(os.path.join(SOURCE, "vorlune.xml")).getroot()
    if (root.tag, root.get("name"), root.get("gl")) != ("screensaver", "vorlune", "yes") or not root.get("_label"):
        problems.append(f"vorlune.xml: not an OpenGL program named vorlune: {root.tag} {root.attrib}")
    if not (root.findtext("_description") or "").strip():
        problems.append("vorlune.xml: no description")
    command = [c.get("arg") for c in root.findall("command")]
    options = [o.get(k) for o in root if o.tag != "command" for k in ("arg", "arg-set", "arg-unset") if o.get(k)]
    if command != ["-root"] or not options:
        problems.append(f"vorlune.xml: command {command}, options {options}")
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=10).stdout
    page = subprocess.run(["man", "--warnings", "-l", "-"], input=open(os.path.join(SOURCE, "vorlune.6"), "rb").read(),
                          capture_output=True, timeout=60, env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
    if page.returncode or page.stderr:
        problems.append(f"vorlune.6: man --warnings: {page.stderr.decode(errors='replace').strip()}")
    text = page.stdout.decode(errors="replace").replace("\u2010", "-")
    for arg in command + options:
        # Options are parsed in order, so --help after one exits 0 only once the option was accepted.
        done = subprocess.run([program, arg, "--help"], capture_output=True, text=True, timeout=10)
        if done.returncode != 0:
            problems.append(f"the program refuses {arg} from vorlune.xml: {done.stderr.strip()}")
        if arg not in help_text or arg not in text:
            problems.append(f"{arg} is missing from --help or from the man page")
    for p in problems:
        print(f"FAIL: {p}")
    print(f"description: {len(command + options)} arguments checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]) if len(sys.argv) == 2 else 2)
