#!/usr/bin/env python3
"""The real binary with real desktops' tray hosts, on the night-light simulator.

  gnome  GNOME Shell 43 headless, the program on an Xvfb of its own. Without a
         tray: a login start keeps Keep Always On and opens nothing; later
         launches open and raise the controls window; Quit from it. A user's
         launch, then the AppIndicator extension enabled 3 s later: the item
         registers, the window closes; the host's menu (saved as
         appindicator-menu.txt), Show Controls, Activate and ContextMenu
         placement, the popover closing when the focus leaves, Quit.
  xfce, lxqt, mate
         xfce4-panel, lxqt-panel or mate-panel on Xvfb, real clicks on the
         icon each draws for our item: the popover and our menu at the icon,
         the panel's menu, Keep Always On undoing an outside turn-off, Quit
         from the panel's menu.
  sway   sway with swaybar and Xwayland, QT_QPA_PLATFORM unset: the program
         goes through Xwayland and its popover outlasts sway taking the
         focus straight back.

Screenshots go to $DW_TEST_ARTIFACTS/e2e-shell-<desktop>/.
Usage: shell_desktops_e2e.py BUILD_DIR gnome|xfce|lxqt|mate|sway
"""

import contextlib
import os
import re
import signal
import sys
import time

from desktop import Bus, Duskwarden, PrivateSession, Window, XDesktop, XInput, sni, trayui
from desktop.gnome import GnomeShell
from desktop.lxqt import LxqtPanel
from desktop.mate import MatePanel
from desktop.sway import Sway
from desktop.xfce import XfcePanel
from wait import WaitTimeout, stays, wait_for

SCREEN = (1280, 800)
NEAR = 40  # px: how far from where it belongs a window may open


class Failure(Exception):
    pass


def log(message):
    print(f"[shell-{DESKTOP} {time.monotonic() - START:6.2f}s] {message}", flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def placed_at(win, x, y):
    """Whether `win` opened where a host position (x, y) puts a popup on a
    screen without panels: centred on x, hanging below y, kept on screen."""
    left = min(max(x - win.w // 2, 0), SCREEN[0] - win.w)
    top = min(max(y + 5, 0), SCREEN[1] - win.h)
    return abs(win.x - left) <= NEAR and abs(win.y - top) <= NEAR


def distance(point, win):
    """How far `point` lies outside `win` (0 inside)."""
    x, y = point
    return max(win.x - x, 0, x - (win.x + win.w), win.y - y, y - (win.y + win.h))


# ---------------------------------------------------------------- GNOME

def gnome_without_tray(d):
    d.app.write_defaults(True)
    d.app.sim("off")
    log_path = d.session.path("login.log")
    app = d.app.launch(log_path, args=("--autostart",))
    started = time.monotonic()
    wait_for(d.app.sim_enabled, 3, "Keep Always On to turn night light on at a login start")
    turned_on = time.monotonic()
    check(stays(lambda: trayui.dialog(d, app.pid) is None, 1.0), "a login start opened a window")
    said = [line for line in open(log_path) if "no system tray" in line]
    check(len(said) == 1, f"{len(said)} lines about the missing tray")

    # Turned off from outside after the manager's own one-second window: back on.
    time.sleep(max(0.0, turned_on + 1.3 - time.monotonic()))
    d.app.sim("off")
    wait_for(d.app.sim_enabled, 3, "Keep Always On to undo an outside turn-off")
    check(stays(d.app.sim_enabled, 1.0), "night light did not stay on")
    time.sleep(max(0.0, started + 6.5 - time.monotonic()))
    check(app.poll() is None, f"it ended without a tray (status {app.returncode})")

    second = d.session.run([d.app.binary], check=False, timeout=30)
    check(second.returncode == 0, f"the second launch ended with {second.returncode}")
    window = wait_for(lambda: trayui.dialog(d, app.pid), 5, "the window after a second launch")
    check(d.input.title(window.id) == "Duskwarden", f"the window is titled {d.input.title(window.id)!r}")
    d.shots.save("no-tray-window.png")

    # Covered by another window, a further launch raises it.
    cover = d.session.spawn(["xmessage", "-geometry", f"400x300+{window.x}+{window.y}", "covering"])
    top = lambda: d.xconn.stacking()[-1]  # noqa: E731
    wait_for(lambda: top() != window.id, 5, "the covering window on top")
    d.session.run([d.app.binary], check=False, timeout=30)
    wait_for(lambda: top() == window.id, 5, "the window raised above the cover")
    d.session.stop(cover)

    d.input.xdotool("windowfocus", "--sync", window.id)
    d.input.key("ctrl+q")
    wait_for(lambda: app.poll() is not None, 10, "Quit from the window")
    check(app.returncode == 0, f"Quit ended it with status {app.returncode}")


def gnome_late_tray(d, shell):
    app = d.app.launch(d.session.path("user.log"))
    started = time.monotonic()
    wait_for(lambda: trayui.dialog(d, app.pid), 5, "the window at a launch from the terminal")
    time.sleep(max(0.0, started + 3.0 - time.monotonic()))
    enabled = time.monotonic()
    shell.enable_appindicator()
    item = wait_for(lambda: sni.items(d.bus), 5, "the item to register with the late watcher")[0]
    log(f"item {item} registered {time.monotonic() - enabled:.2f} s after enabling the extension")
    wait_for(lambda: trayui.dialog(d, app.pid) is None, 5, "the window to close once the tray is there")
    return app, item


def save_menu(d, item, layout, name="appindicator", host="GNOME's AppIndicator host"):
    """The host's menu, one item a line, beside the screenshots; returns the labels."""
    rows = []
    for item_id, props in re.findall(r"<\((\d+), \{(.*?)\}, @av \[\]\)>", layout):
        label = re.search(r"'label': <'([^']*)'>", props)
        keys = re.search(r"'shortcut': <\[\[(.*?)\]\]>", props)
        text = "-" * 20 if "'separator'" in props else (label.group(1) if label else "?")
        rows.append((item_id, text, keys.group(1).replace("'", "").replace(", ", "+") if keys else ""))
    with open(os.path.join(d.shots.directory, f"{name}-menu.txt"), "w") as f:
        f.write(f"The menu {host} draws for {item} (com.canonical.dbusmenu GetLayout):\n\n")
        f.writelines(f"  [{i}] {text:<24}{keys}\n" for i, text, keys in rows)
        f.write(f"\nAs read over D-Bus:\n{layout}\n")
    return [text for _, text, _ in rows]


def gnome_appindicator(d, app, item):
    os.makedirs(d.shots.directory, exist_ok=True)
    labels = save_menu(d, item, sni.menu_layout(d.bus, item) or "")
    log(f"menu: {labels}")
    check(labels[:2] == ["Show Controls", "Check for Updates..."] and labels[2].startswith("--")
          and labels[3:] == ["Quit Duskwarden"], f"the menu reads {labels}")

    # A single left click opens that menu; its first item opens the popover at the pointer.
    # The shell asks for the menu once as it takes the item in (AboutToShow),
    # which closes an open popover as any host menu does: click after that.
    check(d.app.wait_for_line(app, "about to show the tray menu", 10), "the shell never took in the menu")
    d.input.move(600, 300)
    sni.menu_event(d.bus, item, 1)
    pop = wait_for(lambda: trayui.popover(d, app.pid), 5, "the popover from Show Controls")
    check(placed_at(pop, 600, 300), f"Show Controls opened the popover at {pop}, not at the pointer")
    trayui.close_popover(d, pop)

    before = set(d.xconn.stacking())
    cover = d.session.spawn(["xmessage", "-geometry", "200x100+100+600", "elsewhere"])
    elsewhere = wait_for(lambda: set(d.xconn.stacking()) - before, 5, "another window").pop()
    sni.activate(d.bus, item, 1100, 10)
    pop = wait_for(lambda: trayui.popover(d, app.pid), 5, "the popover from Activate")
    opened = time.monotonic()
    log(f"Activate(1100, 10): popover at {pop}")
    check(placed_at(pop, 1100, 10), "the popover is not where Activate placed it")
    d.shots.save("sni-activate-popover.png")
    # The focus goes to another window after a moment's use: it closes.
    time.sleep(max(0.0, opened + 0.8 - time.monotonic()))
    d.input.xdotool("windowfocus", elsewhere)
    wait_for(lambda: trayui.popover(d, app.pid) is None, 5, "the popover to close when the focus left")
    check(d.wait_ungrabbed(), "the pointer grab was not released")
    d.session.stop(cover)

    sni.context_menu(d.bus, item, 1100, 10)
    menu = wait_for(lambda: trayui.menu(d, app.pid), 5, "the menu from ContextMenu")
    check(distance((1100, 10), menu) <= NEAR, f"ContextMenu(1100, 10) opened the menu at {menu}")
    d.input.key("Escape")
    wait_for(lambda: trayui.menu(d, app.pid) is None, 5, "the menu to close")
    check(d.wait_ungrabbed(), "the pointer grab was not released")

    sni.menu_event(d.bus, item, 4)  # Quit, as the host's menu sends it
    wait_for(lambda: app.poll() is not None, 10, "Quit from the host's menu")
    check(app.returncode == 0, f"Quit ended it with status {app.returncode}")
    wait_for(lambda: not sni.items(d.bus), 5, "the item to leave the watcher")


def gnome(build):
    with XDesktop(build, tray=False, session_bus=True, logind=True, artifacts="e2e-shell-gnome",
                  background="#202830") as d:
        d.env["DUSKWARDEN_NIGHTLIGHT_BACKEND"] = "sim"
        with guarded(d):
            shell = GnomeShell(d.session, d.bus)
            log(f"GNOME Shell {shell.version()} up in {shell.startup_seconds:.1f} s")
            gnome_without_tray(d)
            gnome_appindicator(d, *gnome_late_tray(d, shell))


# ---------------------------------------------------------------- panels on X11: Xfce, LXQt, MATE

PANELS = {"xfce": (XfcePanel, 26), "lxqt": (LxqtPanel, 26), "mate": (MatePanel, 24)}


def x11_panel(build, name):
    start_panel, size = PANELS[name]
    with XDesktop(build, tray=False, session_bus=True, artifacts=f"e2e-shell-{name}", background="#202830") as d:
        with guarded(d):
            log(f"panel up in {start_panel(d.session, d.bus, size=size).startup_seconds:.1f} s")
            strip = (0, 0, SCREEN[0], size)
            before = drawn_strip(d, strip)
            d.app.write_defaults(True)
            app = d.app.launch(d.session.path("app.log"))
            item = wait_for(lambda: sni.items(d.bus), 10, "our item in the panel's watcher")[0]
            wait_for(d.app.sim_enabled, 5, "Keep Always On to turn night light on")
            turned_on = time.monotonic()
            icon = settled_icon(d, before, strip)
            log(f"icon at {icon}")
            check(trayui.tray_icon(d, app.pid) is None, "an XEmbed icon of ours is in the panel too")

            d.input.click_at(*icon)
            pop = wait_for(lambda: trayui.popover(d, app.pid), 5, "the popover after a left click")
            log(f"left click: popover at {pop}")
            check(distance(icon, pop) <= NEAR, f"the popover is {distance(icon, pop)} px from the click")
            check(pop.x >= 0 and pop.y >= 0 and pop.x + pop.w <= SCREEN[0] and pop.y + pop.h <= SCREEN[1],
                  "the popover leaves the screen")
            d.shots.save(f"{name}-activate-popover.png")
            trayui.close_popover(d, pop)
            time.sleep(0.3)  # the popup finishes tearing down on Qt's next turns

            d.input.click_at(*icon, ctrl=True)
            menu = wait_for(lambda: trayui.menu(d, app.pid), 5, "our menu after a Control-click")
            check(distance(icon, menu) <= NEAR and trayui.popover(d, app.pid) is None, "Control-click: not our menu")
            d.input.key("Escape")
            wait_for(lambda: trayui.menu(d, app.pid) is None, 5, "the menu to close")
            check(d.wait_ungrabbed(), "the pointer grab was not released")
            time.sleep(0.3)

            # Right click: the panel draws our menu; its first item opens the popover, its last quits.
            labels = save_menu(d, item, sni.menu_layout(d.bus, item) or "", name, "the panel")
            check(labels == ["Show Controls", "Check for Updates...", "-" * 20, "Quit Duskwarden"],
                  f"the menu reads {labels}")
            drawn = panel_menu(d, icon)
            d.shots.save(f"{name}-menu.png")
            d.input.click_at(drawn[0] + drawn[2] // 3, drawn[1] + 14, arrive=False)
            pop = wait_for(lambda: trayui.popover(d, app.pid), 5, "the popover from Show Controls")
            trayui.close_popover(d, pop)

            # Night light turned off from outside, after the manager's own one-second window: back on.
            time.sleep(max(0.0, turned_on + 1.3 - time.monotonic()))
            d.app.sim("off")
            wait_for(d.app.sim_enabled, 3, "Keep Always On to undo an outside turn-off")
            check(stays(d.app.sim_enabled, 1.0), "night light did not stay on")

            drawn = panel_menu(d, icon)
            d.input.click_at(drawn[0] + drawn[2] // 3, drawn[1] + drawn[3] - 14, arrive=False)
            wait_for(lambda: app.poll() is not None, 10, "Quit from the panel's menu")
            check(app.returncode == 0, f"Quit ended it with status {app.returncode}")


def panel_menu(d, icon):
    """Right-clicks the icon; returns the geometry of the menu the panel draws."""
    d.wait_ungrabbed()
    shown = set(d.xconn.mapped_popups())
    d.input.click_at(*icon, button=3)
    drawn = wait_for(lambda: [g for w, g in d.xconn.mapped_popups().items() if w not in shown],
                     5, "the panel's menu after a right click")[0]
    log(f"right click: the panel's menu at {drawn}")
    check(distance(icon, Window(0, *drawn)) <= NEAR, "the menu is not at the icon")
    return drawn


def once_steady(d, sample, what, gap=0.0):
    """What `sample()` gives once two samples running agree (`gap` s apart)."""
    last = [None]

    def steady():
        time.sleep(gap)
        now = sample()
        same, last[0] = now is not None and now == last[0], now
        return now if same else None
    return wait_for(steady, 10, what)


def drawn_strip(d, strip):
    """The panel's `strip` once looks 0.3 s apart agree: a panel that has
    registered its tray host may still be drawing itself (MATE's does)."""
    return once_steady(d, lambda: d.shots.pixels(strip), "the panel to finish drawing", gap=0.3)


def settled_icon(d, before, strip):
    """Centre of what changed in the panel's `strip`, once the same twice
    running: panels grow their tray area while its first icon appears."""
    return once_steady(d, lambda: changed_centre(before, d.shots.pixels(strip)), "the icon to settle")


def changed_centre(before, after):
    """Centre of the pixels that differ between two RGB strips SCREEN[0] wide."""
    changed = [i // 3 for i in range(0, min(len(before), len(after)), 3) if before[i:i + 3] != after[i:i + 3]]
    if not changed:
        return None
    xs, ys = [p % SCREEN[0] for p in changed], [p // SCREEN[0] for p in changed]
    return (min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2


# ---------------------------------------------------------------- sway

def sway(build):
    with PrivateSession() as s:
        bus = Bus(s, any_user=True)
        Sway(s, bar=True, bus=bus, xwayland=True)
        check("QT_QPA_PLATFORM" not in s.env, "the session chose a Qt platform itself")
        xinput = XInput(s)
        app = Duskwarden(s, build).launch(s.path("app.log"))
        item = wait_for(lambda: sni.items(bus), 10, "our item in swaybar's watcher")[0]
        windows = lambda: [w for w in xinput.windows(app.pid) if w.w > 1]  # noqa: E731  on Xwayland

        sni.activate(bus, item, 1250, 10)
        pop = wait_for(lambda: [w for w in windows() if w.w >= 300], 5, "the popover on Xwayland")[0]
        log(f"Activate(1250, 10): popover at {pop}")
        check(placed_at(pop, 1250, 10), "the popover is not where Activate placed it")
        check(stays(lambda: any(w.w >= 300 for w in windows()), 1.5), "the popover closed when sway took the focus")
        xinput.key("Escape")
        wait_for(lambda: not windows(), 5, "the popover to close on Escape")

        sni.context_menu(bus, item, 1250, 10)
        menu = wait_for(lambda: [w for w in windows() if w.h >= 45 and w.w < 300], 5, "our menu")[0]
        check(distance((1250, 10), menu) <= NEAR, f"ContextMenu(1250, 10) opened the menu at {menu}")
        check(s.stop(app) == 0, "SIGTERM did not end it with status 0")


@contextlib.contextmanager
def guarded(desk):
    """Saves a screenshot when a check fails inside it."""
    try:
        yield
    except (Failure, WaitTimeout):
        desk.shots.save("failure.png")
        raise


if __name__ == "__main__":
    START = time.monotonic()
    DESKTOP = sys.argv[2]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        if DESKTOP in PANELS:
            x11_panel(sys.argv[1], DESKTOP)
        else:
            {"gnome": gnome, "sway": sway}[DESKTOP](sys.argv[1])
        log("passed")
    except (Failure, WaitTimeout) as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
