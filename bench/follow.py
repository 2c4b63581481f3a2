#!/usr/bin/env python3
"""The follow mode's cost and delay, on a private X server with the simulator.

Usage: follow.py --build-dir DIR [--idle SECONDS]

Prints how long after an outside change (the simulator tool writing its
state) a `--status --follow --json` line arrives, and how often the running
copy and the follower woke while nothing changed (voluntary context switches
in /proc/PID/status over --idle seconds, 60 by default).
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "support"))  # the desktop test fixture
from desktop import XDesktop, trayui  # noqa: E402


def threads_switches(pid):
    """Voluntary switches of every thread of `pid`."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/status") as f:
            total += sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt_switches"))
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--idle", type=float, default=60.0)
    args = parser.parse_args()
    with XDesktop(args.build_dir) as d:
        app = trayui.launch(d, "bench")
        follower = subprocess.Popen([d.app.binary, "--status", "--follow", "--json"], env=d.session.env,
                                    stdout=subprocess.PIPE, text=True)
        follower.stdout.readline()
        delays = []
        for change in ("on", "off") * 5:
            started = time.monotonic()
            d.app.sim(change)
            follower.stdout.readline()
            delays.append(time.monotonic() - started)
        print(f"line after an outside change: max {max(delays):.3f} s, mean {sum(delays) / len(delays):.3f} s "
              f"({len(delays)} changes, the simulator tool's own start included)")
        time.sleep(2.0)
        before = threads_switches(app.pid), threads_switches(follower.pid)
        time.sleep(args.idle)
        after = threads_switches(app.pid), threads_switches(follower.pid)
        per_minute = [(b - a) * 60.0 / args.idle for a, b in zip(before, after)]
        print(f"wakeups while idle ({args.idle:.0f} s, per minute): running copy {per_minute[0]:.1f}, "
              f"follower {per_minute[1]:.1f}")
        follower.kill()


if __name__ == "__main__":
    main()
