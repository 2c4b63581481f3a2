#!/usr/bin/env python3
"""Writes the link order of the program's functions: those the start-up runs
first, then those the popover's first open adds; the linker lays them out in
that order ahead of the rest (cmake/Duskwarden.cmake), so a day in the tray
maps only the pages holding them, not every page of the program's code.

Usage: bench/startup_order.py --build-dir DIR [--out FILE]

Runs the program three times under callgrind on one private Xvfb with
trayer, as the benchmarks do: to its icon and Keep Always On's first
turn-on, in a new session and in one it already ran in (its autostart entry
there to be read); and on to a popover opened and closed. Writes mangled
names, one a line, to FILE (default cmake/startup-order.txt). Rerun after large changes to what starts:
a name the build no longer has is skipped, a new function lands after the
listed ones, so a stale list costs pages, never correctness.
"""

import argparse
import os
import re
import signal
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))  # the desktop test fixture
from desktop import XDesktop, trayui  # noqa: E402
from wait import wait_for  # noqa: E402

# "(id) name" the first time, "(id)" after: callgrind's name compression.
NAME = re.compile(r"\((\d+)\)(?: (.*))?")


def run_under_callgrind(build_dir, out, open_popover, started_before=False):
    binary = os.path.join(build_dir, "bin", "duskwarden")
    with XDesktop(build_dir, artifacts="bench") as d:
        d.app.write_defaults(True)
        if started_before:  # every start after the first: the autostart entry is there to be read
            first = trayui.launch(d, "before")
            wait_for(lambda: os.path.exists(d.app.autostart_entry), 10)
            d.session.stop(first)
        p = d.app.launch(d.session.path("callgrind.log"), "sim", binary="valgrind",
                         args=("--tool=callgrind", "--demangle=no", f"--callgrind-out-file={out}", binary))
        p.icon = trayui.wait_for_icon(d, p.pid, timeout=120).centre
        if not wait_for(lambda: d.app.sim_state()["enabled"], 60):
            raise RuntimeError("Keep Always On did not turn night light on")
        time.sleep(3)  # what the first status reads and writes, done
        if open_popover:
            trayui.close_popover(d, trayui.open_popover(d, p, timeout=30), timeout=30)
            time.sleep(2)
        os.kill(p.pid, signal.SIGTERM)
        if not wait_for(lambda: p.poll() is not None, 60):
            raise RuntimeError("the program did not end on SIGTERM")


def functions_run(path, object_suffix="/duskwarden"):
    """Names of the functions of the object ending in `object_suffix` that
    ran, in the order callgrind's file first lists them."""
    names = {"ob": {}, "fn": {}}
    current_object, seen = "", {}
    with open(path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            kind = key[1:] if key in ("cob", "cfn") else key
            if kind not in names:
                continue
            m = NAME.match(value)
            if not m:
                continue
            if m[2]:
                names[kind][m[1]] = m[2]
            name = names[kind].get(m[1], "")
            if key == "ob":
                current_object = name
            elif key == "fn" and current_object.endswith(object_suffix):
                name = re.sub(r"'\d+$", "", name)  # a recursion level, not part of the name
                if not name.startswith(("(", "0x")):
                    seen.setdefault(name, None)
    return list(seen)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--out", default=os.path.join(ROOT, "cmake", "startup-order.txt"))
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        runs = {}
        for phase, open_popover, before in (("start", False, False), ("again", False, True), ("open", True, False)):
            out = os.path.join(tmp, f"callgrind.{phase}")
            run_under_callgrind(os.path.abspath(args.build_dir), out, open_popover, before)
            runs[phase] = functions_run(out)
    first = runs["start"] + [n for n in runs["again"] if n not in set(runs["start"])]
    later = [n for n in runs["open"] if n not in set(first)]
    with open(args.out, "w") as f:
        f.write("".join(n + "\n" for n in first + later))
    print(f"{args.out}: {len(first)} functions of the start-up, {len(later)} more of the first open")


if __name__ == "__main__":
    main()
