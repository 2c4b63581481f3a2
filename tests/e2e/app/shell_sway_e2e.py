#!/usr/bin/env python3
"""The real binary on a Wayland session: headless sway 1.7 with swaybar (a
StatusNotifierItem host) and Xwayland, QT_QPA_PLATFORM unset.
  - it runs its windows through Xwayland (the popover must be placed where
    the host says, which a Wayland client cannot do);
  - Activate(x, y) opens the popover there, and it stays open although sway
    takes the keyboard focus straight back from it;
  - ContextMenu(x, y) shows our menu there.

Screenshots are not possible here (no X screen to grab); the windows are
read on sway's Xwayland.
Usage: shell_sway_e2e.py BUILD_DIR
"""

import signal
import sys
import time

from desktop import Bus, Duskwarden, PrivateSession, XInput, sni, stays
from desktop.sway import Sway

NEAR = 40
GAP = 4


class Failure(Exception):
    pass


def log(message):
    print(f"[shell-sway {time.monotonic() - START:6.2f}s] {message}", flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(s, predicate, timeout, what):
    value = s.wait_for(predicate, timeout)
    if not value:
        raise Failure(f"timed out after {timeout} s waiting for {what}")
    return value


def main():
    build = sys.argv[1]
    with PrivateSession() as s:
        bus = Bus(s, any_user=True)
        sway = Sway(s, bar=True, bus=bus, xwayland=True)
        log(f"sway with swaybar and Xwayland up in {sway.startup_seconds:.1f} s; "
            f"WAYLAND_DISPLAY={s.env['WAYLAND_DISPLAY']} DISPLAY={s.env['DISPLAY']}")
        check("QT_QPA_PLATFORM" not in s.env, "the session chose a Qt platform itself")
        xinput = XInput(s)
        app = Duskwarden(s, build).launch(s.path("app.log"))
        item = wait_for(s, lambda: sni.items(bus), 10, "our item in swaybar's watcher")[0]
        log(f"item {item}")
        windows = lambda: [w for w in xinput.windows(app.pid) if w.w > 1]  # noqa: E731

        sni.activate(bus, item, 1250, 10)
        pop = wait_for(s, lambda: [w for w in windows() if w.w >= 300], 5, "the popover on Xwayland")[0]
        log(f"Activate(1250, 10): popover at {pop}")
        check(abs(pop.x - (1280 - pop.w)) <= NEAR and abs(pop.y - (10 + 1 + GAP)) <= NEAR,
              "the popover is not where Activate placed it")
        check(stays(lambda: any(w.w >= 300 for w in windows()), 1.5),
              "the popover closed when sway took the focus back")

        xinput.key("Escape")
        wait_for(s, lambda: not windows(), 5, "the popover to close on Escape")
        sni.context_menu(bus, item, 1250, 10)
        menu = wait_for(s, lambda: [w for w in windows() if 45 <= w.h and w.w < 300], 5, "our menu")[0]
        log(f"ContextMenu(1250, 10): menu at {menu}")
        check(abs(menu.y - 10) <= NEAR and menu.x + menu.w >= 1250 - NEAR, "the menu is not at the position given")

        status = s.stop(app)
        check(status == 0, f"SIGTERM ended it with status {status}")
    log("passed")


if __name__ == "__main__":
    START = time.monotonic()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        main()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
