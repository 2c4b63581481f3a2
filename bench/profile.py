#!/usr/bin/env python3
"""Where Duskwarden's memory goes, beside the minimal Qt tray.

Usage: bench/profile.py --build-dir DIR --minimal-tray PATH [--settle S] [--open-popover]

Starts both programs on one private Xvfb with trayer (as bench.py does),
lets them settle, and prints from /proc/PID/smaps: resident memory split
into anonymous and file-backed pages, and the file-backed pages per
library, with the libraries only one of the two maps. --open-popover clicks
each icon once (open, Escape) before reading, to see what the first open
costs. Nothing is written; the figures are for reading beside bench.py's table.
"""

import argparse
import collections
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "support"))  # the desktop test fixture
from desktop import XDesktop, trayui  # noqa: E402
from wait import wait_for  # noqa: E402


def smaps(pid):
    """({object: Rss KiB}, totals) from /proc/PID/smaps; anonymous pages of a
    file mapping (relocations, .data written) count as anonymous."""
    per_object = collections.Counter()
    totals = collections.Counter()
    name = None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            head = line.split()
            if not head:
                continue
            if "-" in head[0] and not head[0].endswith(":"):
                name = head[5] if len(head) > 5 else "[anon]"
                continue
            key, value = head[0].rstrip(":"), head[1] if len(head) > 1 else "0"
            if key == "Rss":
                totals["rss"] += int(value)
                rss = int(value)
            elif key == "Anonymous":
                anon = int(value)
                totals["anon"] += anon
                if name.startswith("/"):
                    per_object[os.path.basename(name)] += rss - anon
                    totals["file"] += rss - anon
    return per_object, totals


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--minimal-tray", required=True)
    ap.add_argument("--settle", type=float, default=3.0)
    ap.add_argument("--open-popover", action="store_true")
    args = ap.parse_args()
    with XDesktop(args.build_dir, artifacts="bench") as d:
        d.app.write_defaults(True)
        dw = trayui.launch(d, "dw")
        mt = d.session.spawn([args.minimal_tray], log=d.session.path("minimal.log"))
        mt.icon = trayui.wait_for_icon(d, mt.pid).centre
        wait_for(lambda: d.app.sim_state()["enabled"], 5)
        if args.open_popover:
            for p in (dw, mt):
                window = trayui.open_popover(d, p)
                trayui.close_popover(d, window)
                d.wait_ungrabbed()
        time.sleep(args.settle)
        (dwo, dwt), (mto, mtt) = smaps(dw.pid), smaps(mt.pid)

    mib = lambda k: f"{k / 1024:6.2f}"  # noqa: E731
    print(f"{'MiB':32} {'Duskwarden':>10} {'minimal':>10} {'diff':>8}")
    for key in ("rss", "anon", "file"):
        print(f"{key:32} {mib(dwt[key]):>10} {mib(mtt[key]):>10} {mib(dwt[key] - mtt[key]):>8}")
    print("\nfile-backed pages per object (KiB), largest difference first:")
    names = set(dwo) | set(mto)
    rows = sorted(names, key=lambda n: -abs(dwo.get(n, 0) - mto.get(n, 0)))
    for n in rows:
        a, b = dwo.get(n, 0), mto.get(n, 0)
        if a == b:
            continue
        only = " (Duskwarden only)" if n not in mto else " (minimal only)" if n not in dwo else ""
        print(f"  {n:40} {a:7} {b:7} {a - b:+7}{only}")


if __name__ == "__main__":
    main()
