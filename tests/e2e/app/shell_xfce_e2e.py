#!/usr/bin/env python3
"""The real binary in Xfce's panel (xfce4-panel 4.18 with its systray plugin,
which hosts both StatusNotifierItems and XEmbed icons) on Xvfb, driven with
real clicks on the icon the panel draws for our item:
  - the item is a StatusNotifierItem, not an embedded XEmbed window;
  - a left click (the panel sends Activate with the pointer's position)
    opens the popover next to the icon, inside the screen; a Control-click
    our menu;
  - a right click shows the menu the panel draws from our dbusmenu, whose
    "Show Controls" opens the popover.

Screenshots go to $DW_TEST_ARTIFACTS/e2e-shell-xfce/.
Usage: shell_xfce_e2e.py BUILD_DIR
"""

import signal
import sys
import time

from desktop import Window, XDesktop, sni, trayui
from desktop.xfce import XfcePanel

NEAR = 40
PANEL = 26


class Failure(Exception):
    pass


def log(message):
    print(f"[shell-xfce {time.monotonic() - START:6.2f}s] {message}", flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(d, predicate, timeout, what):
    value = d.session.wait_for(predicate, timeout)
    if not value:
        raise Failure(f"timed out after {timeout} s waiting for {what}")
    return value


def changed_box(before, after, width):
    """Bounding box (x0, y0, x1, y1) of the pixels that differ between two RGB strips."""
    xs, ys = [], []
    for i in range(0, min(len(before), len(after)), 3):
        if before[i:i + 3] != after[i:i + 3]:
            xs.append((i // 3) % width)
            ys.append((i // 3) // width)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def distance(point, window):
    """How far `point` lies outside `window` (0 inside)."""
    x, y = point
    dx = max(window.x - x, 0, x - (window.x + window.w))
    dy = max(window.y - y, 0, y - (window.y + window.h))
    return max(dx, dy)


def main():
    build = sys.argv[1]
    with XDesktop(build, tray=False, session_bus=True, artifacts="e2e-shell-xfce", background="#202830") as d:
        try:
            run(d)
        except Failure:
            d.shots.save("failure.png")
            raise
    log("passed")


def run(d):
    width = d.x.size[0]
    panel = XfcePanel(d.session, d.bus, size=PANEL)
    log(f"xfce4-panel up in {panel.startup_seconds:.1f} s")
    strip = (0, 0, width, PANEL)
    before = d.shots.pixels(strip)
    app = d.app.launch(d.session.path("app.log"))
    item = wait_for(d, lambda: sni.items(d.bus), 10, "our item in the panel's watcher")[0]
    box = wait_for(d, lambda: changed_box(before, d.shots.pixels(strip), width), 10, "the icon in the panel")
    icon = ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)
    log(f"item {item}, icon drawn at {box}, centre {icon}")
    check(trayui.tray_icon(d, app.pid) is None, "an XEmbed icon window of ours is in the panel too")

    # Left click: the panel passes the pointer's position; the popover opens there.
    d.input.click_at(*icon)
    pop = wait_for(d, lambda: trayui.popover(d, app.pid), 5, "the popover after a left click")
    log(f"left click at {icon}: popover at {pop}")
    check(distance(icon, pop) <= NEAR, f"the popover is {distance(icon, pop)} px from the click")
    check(pop.x >= 0 and pop.y >= 0 and pop.x + pop.w <= width and pop.y + pop.h <= d.x.size[1],
          "the popover leaves the screen")
    d.shots.save("xfce-activate-popover.png")
    trayui.close_popover(d, pop)
    time.sleep(0.3)  # the popup finishes tearing down on Qt's next turns

    # Control-click: our own menu at the icon, not the popover.
    d.input.click_at(*icon, ctrl=True)
    menu = wait_for(d, lambda: trayui.menu(d, app.pid), 5, "our menu after a Control-click")
    log(f"Control-click: menu at {menu}")
    check(distance(icon, menu) <= NEAR, "the menu is not at the icon")
    check(trayui.popover(d, app.pid) is None, "the popover opened on a Control-click")
    d.input.key("Escape")
    wait_for(d, lambda: trayui.menu(d, app.pid) is None, 5, "the menu to close")
    d.wait_ungrabbed()
    time.sleep(0.3)

    # Right click: the panel draws our menu; its first item opens the popover.
    ours = set(d.xconn.mapped_popups())
    d.input.click_at(*icon, button=3)
    menus = wait_for(d, lambda: {w: g for w, g in d.xconn.mapped_popups().items() if w not in ours}, 5,
                     "the panel's menu after a right click")
    mx, my, mw, mh = next(iter(menus.values()))
    log(f"right click: menu at {(mx, my, mw, mh)}")
    check(distance(icon, Window(0, mx, my, mw, mh)) <= NEAR, "the menu is not at the icon")
    check(trayui.popover(d, app.pid) is None, "the popover opened on a right click")
    d.shots.save("xfce-menu.png")
    d.input.click_at(mx + mw // 3, my + 14, arrive=False)  # its first row: Show Controls
    pop = wait_for(d, lambda: trayui.popover(d, app.pid), 5, "the popover from the menu's Show Controls")
    log(f"Show Controls: popover at {pop}")
    trayui.close_popover(d, pop)

    status = d.session.stop(app)
    check(status == 0, f"SIGTERM ended it with status {status}")


if __name__ == "__main__":
    START = time.monotonic()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        main()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
