#!/usr/bin/python3
"""A click that fails is not silent: on a real KWin 5.27 whose kwinrc locks
[NightColor] Active with [$i], the real binary (detection picks KDE) shows
the reason under the status badge once "Enable Night Shift" is clicked, and
the accessibility bus reads that line as a notification in the popover.
Screenshots before and after the click: test-artifacts/e2e-kde-reason/.

Usage: kde_reason_line_e2e.py   (/usr/bin/python3: it needs pyatspi)"""

import os

import nightcolor as nc
from desktop import XDesktop, atspi, find_build_dir, trayui
from desktop.kwin import KWin

atspi.own_pid_namespace()

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
LOCKED_LINE = "Night Light is locked by your administrator's settings"


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main():
    with XDesktop(BUILD, session_bus=True, artifacts="e2e-kde-reason") as d:
        s = d.session
        atspi.start(d)
        kwin = KWin(s, d.bus)
        nc.wait_for_kwins_own_writes(s)  # before the test edits kwinrc
        with open(nc.kwinrc_path(s), "a") as f:
            f.write("\n[NightColor]\nActive[$i]=false\n")
        d.app.write_defaults(False)
        app = trayui.launch(d, "kde", backend=None, extra_env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        check(d.app.wait_for_line(app, "Using the kde backend"), "detection did not pick KDE")

        pop = trayui.open_popover(d, app)
        check(s.wait_for(lambda: atspi.node(app.pid, "dialog", "Duskwarden"), 10), "no popover in the accessible tree")
        check(atspi.node(app.pid, "notification", LOCKED_LINE) is None, "a reason before any request")
        d.shots.save("popover-before-click.png")

        button = trayui.enable_button(d, pop)
        check(button, "no Enable Night Shift button in the popover's pixels")
        d.input.click_at(*button)
        line = s.wait_for(lambda: atspi.node(app.pid, "notification", LOCKED_LINE), 10)
        check(line, "the reason line did not reach the accessible tree:\n" + atspi.reading(app.pid))
        check(not nc.properties(kwin)["enabled"], "KWin turned Night Color on despite the lock")
        grown = s.wait_for(lambda: (p := trayui.popover(d, app.pid)) and p.h > pop.h and p, 5)
        check(grown, "the popover did not make room for the line")
        d.shots.save("popover-locked-reason.png")
        reading = atspi.reading(app.pid)
        with open(os.path.join(d.shots.directory, "accessible-tree.txt"), "w") as f:
            f.write(reading + "\n")
        print(reading, flush=True)
        badge = next(i for i, text in enumerate(reading.splitlines()) if "Status: Inactive" in text)
        check(LOCKED_LINE in reading.splitlines()[badge + 1], "the line is not read right after the badge")


if __name__ == "__main__":
    main()
    print("passed")
