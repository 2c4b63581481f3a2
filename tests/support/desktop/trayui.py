"""The program's windows on the X11 test desktop: its tray icon, popover,
menu and dialogs, found by size among the visible windows of its process,
and the popover's controls found by colour."""

import time

from wait import wait_for

from .screenshots import find_runs

ICON_MAX = 64      # a tray icon is at most this wide and high
POPOVER_MIN_W = 300  # the popover is 360 wide; menus and tooltips are narrower
MENU_MIN_H = 45    # the menu has three rows; tooltips are one


def tray_icon(desk, pid):
    """The icon window of `pid` (small, embedded in the tray), or None."""
    small = [w for w in desk.input.windows(pid) if w.w <= ICON_MAX and w.h <= ICON_MAX]
    return small[0] if small else None


def wait_for_icon(desk, pid, timeout=10.0, interval=0.005):
    """Waits until `pid` maps its tray icon; returns its Window."""
    found = wait_for(lambda: tray_icon(desk, pid), timeout, interval=interval)
    if not found:
        tray = "running" if desk.tray and desk.tray.running() else "gone"
        raise TimeoutError(f"no tray icon from pid {pid} within {timeout} s (tray host {tray})")
    return found


def popover(desk, pid):
    """The popover of `pid` (its largest wide window), or None."""
    wide = [w for w in desk.input.windows(pid) if w.w >= POPOVER_MIN_W]
    return max(wide, key=lambda w: w.w * w.h) if wide else None


def menu(desk, pid):
    others = [w for w in desk.input.windows(pid) if w.w < POPOVER_MIN_W and w.h >= MENU_MIN_H]
    return others[0] if others else None


def dialog(desk, pid):
    """With the popover and the menu closed: any window larger than the icon."""
    big = [w for w in desk.input.windows(pid) if w.w > ICON_MAX and w.h > ICON_MAX]
    return big[0] if big else None


def launch(desk, name, backend="sim", timeout=10.0, extra_env=None):
    """Starts the program with its output in <session>/<name>.log, waits for
    its tray icon; returns the process with .log and .icon (the icon's centre)."""
    proc = desk.app.launch(desk.session.path(f"{name}.log"), backend, extra_env)
    proc.icon = wait_for_icon(desk, proc.pid, timeout=timeout).centre
    return proc


def open_popover(desk, proc, timeout=5.0):
    """Clicks the icon until the popover is up; returns its Window."""
    x, y = proc.icon
    for offset in (4, -4, 0):
        # A second press at the same spot within the double-click interval
        # is a double click, which the tray icon does not answer: shift it.
        desk.input.xdotool("mousemove", x + offset, y, "click", 1)
        found = wait_for(lambda: popover(desk, proc.pid), timeout)
        if found:
            return found
        time.sleep(0.45)
    raise TimeoutError("the popover did not open")


def close_popover(desk, window, timeout=5.0):
    """Escape, then waits until `window` (a Window or an id) is unmapped and the pointer is free."""
    wid = getattr(window, "id", window)
    desk.input.key("Escape")
    wait_for(lambda: not desk.xconn.viewable(wid), timeout, "the popover to close on Escape")
    if not desk.wait_ungrabbed():
        raise TimeoutError("the pointer grab was not released after the popover closed")


def _blue(r, g, b):
    return b > 160 and r < 80 and 60 < g < 170 and b > g + 60


def _grey(r, g, b):
    return abs(r - g) < 8 and abs(g - b) < 8 and 130 < r < 180


def _green(r, g, b):
    return g > 75 and g > r + 50 and g > b + 40


def enable_button(desk, pop):
    """Centre of the filled blue "Enable Night Shift" button, found in the popover's pixels."""
    raw = desk.shots.pixels(pop)
    rows = [r for r in find_runs(raw, pop.w, pop.h, _blue) if r[2] - r[1] > pop.w // 2]
    if not rows:
        return None
    y = (rows[0][0] + rows[-1][0]) // 2
    return pop.x + (rows[0][1] + rows[0][2]) // 2, pop.y + y


def keep_always_on_switch(desk, pop, above_y=None):
    """Centre of the Keep Always On switch: its grey (off) or green (on)
    track in the right-hand strip of the popover, above `above_y` (default:
    the popover's upper half); None if not seen."""
    height = (above_y - pop.y) if above_y is not None else pop.h // 2
    area = (pop.x + pop.w - 90, pop.y, 90, height)
    raw = desk.shots.pixels(area)
    for match in (_grey, _green):
        rows = [r for r in find_runs(raw, area[2], area[3], match) if r[2] - r[1] >= 6]
        if rows:
            cy = (rows[0][0] + rows[-1][0]) // 2
            cx = (min(r[1] for r in rows) + max(r[2] for r in rows)) // 2
            return area[0] + cx, area[1] + cy
    return None
