#!/usr/bin/env python3
"""Instructions a look at the X11 gamma ramps costs in user space: Duskwarden's
event thread beside bench/x11-floor's smallest held look, both under
callgrind on one private Xvfb, a look every 0.2 s.

Usage: bench/look_instructions.py --build-dir DIR --x11-floor PATH [--seconds S]

Both run for a while to settle, callgrind's counters are zeroed, and after S
seconds (default 20) each thread's instructions are divided by the looks it
sent in that window (its xcb_flush calls). Deterministic where the schedstat
rows of bench.py are not: the kernel's share and cold caches are not in it.
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "support"))  # the desktop test fixture
from desktop import XDesktop  # noqa: E402

TOTALS = re.compile(r"^(?:summary|totals): (\d+)", re.M)


def per_look(dump, marker):
    """(instructions, looks) of the thread dump holding `marker`, or None."""
    with open(dump, errors="replace") as f:
        text = f.read()
    if marker not in text:
        return None
    # callgrind names a function in full once, then by its id alone.
    ids = set(re.findall(r"^c?fn=\((\d+)\) xcb_flush$", text, re.M))
    looks = sum(int(n) for fid, n in re.findall(r"^cfn=\((\d+)\)[^\n]*\ncalls=(\d+)", text, re.M) if fid in ids)
    return int(TOTALS.search(text).group(1)), looks


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--x11-floor", required=True)
    ap.add_argument("--seconds", type=float, default=20)
    args = ap.parse_args()
    build = os.path.abspath(args.build_dir)
    with tempfile.TemporaryDirectory() as tmp, XDesktop(build, artifacts="bench") as d:
        d.app.write_defaults(True)
        grind = ("--tool=callgrind", "--separate-threads=yes")
        dw = d.app.launch(d.session.path("dw.log"), "x11", {"DUSKWARDEN_X11_VERIFY_SECONDS": "0.2"}, binary="valgrind",
                          args=(*grind, f"--callgrind-out-file={tmp}/dw.%p", os.path.join(build, "bin", "duskwarden")))
        floor = d.session.spawn(["valgrind", *grind, f"--callgrind-out-file={tmp}/floor.%p",
                                 os.path.abspath(args.x11_floor), "look", "200"], log=d.session.path("floor.log"))
        time.sleep(30)  # start-up under valgrind, and the first looks
        subprocess.run(["callgrind_control", "--zero"], capture_output=True, check=True)
        time.sleep(args.seconds)
        subprocess.run(["callgrind_control", "--dump=window"], capture_output=True, check=True)
        time.sleep(2)
        for p in (dw, floor):
            p.terminate()
            p.wait(20)
        found = {}
        for who, marker in (("Duskwarden's event thread", "GammaReader"), ("x11-floor", "x11-floor")):
            # The window's dumps are part 1; the ones written at exit are not.
            for dump in sorted(glob.glob(f"{tmp}/{'dw' if 'Dusk' in who else 'floor'}.*.1-*")):
                result = per_look(dump, marker)
                if result and result[1]:
                    found[who] = result
    if len(found) != 2:
        sys.exit(f"look_instructions: no looks found for {', '.join({'Duskwarden', 'x11-floor'} - set(found))}")
    for who, (instructions, looks) in found.items():
        print(f"{who}: {instructions / looks:,.0f} instructions a look ({looks} looks)")
    (a, la), (b, lb) = found["Duskwarden's event thread"], found["x11-floor"]
    print(f"ratio: {(a / la) / (b / lb):.2f}")


if __name__ == "__main__":
    main()
