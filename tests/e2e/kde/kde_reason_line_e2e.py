#!/usr/bin/python3
"""A click that fails is not silent: on a real KWin with [NightColor] Active locked by [$i], a
click on "Enable Night Shift" shows the reason under the status badge (screenshots in
test-artifacts/e2e-kde-reason/), and the accessibility bus reads it there as a notification."""

import os

import nightcolor as nc
from desktop import XDesktop, atspi, find_build_dir, trayui
from desktop.kwin import KWin
from wait import wait_for

atspi.own_pid_namespace()

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
LOCKED_LINE = "Night Light is locked by your administrator's settings"


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
        assert d.app.wait_for_line(app, "Using the kde backend"), "detection did not pick KDE"

        pop = trayui.open_popover(d, app)
        assert wait_for(lambda: atspi.node(app.pid, "dialog", "Duskwarden"), 10), "no popover in the accessible tree"
        assert atspi.node(app.pid, "notification", LOCKED_LINE) is None, "a reason before any request"
        d.shots.save("popover-before-click.png")

        button = trayui.enable_button(d, pop)
        assert button, "no Enable Night Shift button in the popover's pixels"
        d.input.click_at(*button)
        assert wait_for(lambda: atspi.node(app.pid, "notification", LOCKED_LINE), 10), "no reason line in the tree"
        assert not nc.properties(kwin)["enabled"], "KWin turned Night Color on despite the lock"
        assert wait_for(lambda: (trayui.popover(d, app.pid) or pop).h > pop.h, 5), "the popover made no room for the line"
        d.shots.save("popover-locked-reason.png")
        names = [f"{n.getRoleName()} {n.name}" for _, n in atspi.tree(app.pid)]
        print("\n".join(names), flush=True)
        badge = names.index("notification Status: Inactive")
        assert names[badge + 1] == "notification " + LOCKED_LINE, "the line is not read right after the badge"


if __name__ == "__main__":
    main()
    print("passed")
