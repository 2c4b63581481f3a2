#!/usr/bin/env python3
"""The real binary with a real GNOME Shell 43 (headless) as its desktop: first
stock, without a tray, then with the AppIndicator extension (Ubuntu's tray
host) switched on while the program runs. The program runs on an Xvfb of
its own, on the night-light simulator; the shell reaches it over the
private session bus, as it would reach an Xwayland client.

One shell session for every check, in order:
  no tray:     a login start keeps Keep Always On and opens nothing; a later
               launch opens the controls window and raises it; Quit from it.
  late tray:   a user's launch opens the window; the extension enabled 3 s
               later gets the item within 5 s and the window closes.
  AppIndicator: the menu the host draws (saved as appindicator-menu.txt),
               its "Show Controls", Activate(x, y) placing the popover, the
               popover closing when the focus leaves, ContextMenu(x, y), Quit.

Screenshots and the menu dump go to $DW_TEST_ARTIFACTS/e2e-shell-gnome/.
Usage: shell_gnome_e2e.py BUILD_DIR
"""

import os
import re
import signal
import sys
import time

from desktop import XDesktop, sni, stays, trayui
from desktop.gnome import GnomeShell

SCREEN = (1280, 800)
GAP = 4  # between the anchor and the popover
NEAR = 40


class Failure(Exception):
    pass


def log(message):
    print(f"[shell-gnome {time.monotonic() - START:6.2f}s] {message}", flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(d, predicate, timeout, what):
    value = d.session.wait_for(predicate, timeout)
    if not value:
        raise Failure(f"timed out after {timeout} s waiting for {what}")
    return value


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def origin_at(x, y, w, h):
    """Where a popover of w x h opens for a host position (x, y) on a screen
    without panels: centred on x, hanging below y in the upper half, clamped."""
    left = min(max(x - w // 2, 0), SCREEN[0] - w)
    top = y + 1 + GAP if y < SCREEN[1] // 2 else y - GAP - h
    return left, min(max(top, 0), SCREEN[1] - h)


def controls_window(d, pid):
    """The no-tray window: the one window of `pid` larger than an icon."""
    return trayui.dialog(d, pid)


def no_tray(d):
    log("stock GNOME Shell: no StatusNotifierWatcher, no XEmbed tray")
    d.app.write_defaults(True)
    d.app.sim("off")
    log_path = d.session.path("login.log")
    app = d.app.launch(log_path, args=("--autostart",))
    started = time.monotonic()
    wait_for(d, d.app.sim_enabled, 3, "Keep Always On to turn night light on at a login start")
    turned_on = time.monotonic()
    log(f"night light on {turned_on - started:.2f} s after the login start")
    check(stays(lambda: controls_window(d, app.pid) is None, 1.0), "a login start opened a window")
    said = [line for line in read(log_path).splitlines() if "no system tray" in line]
    check(len(said) == 1, f"{len(said)} lines about the missing tray: {said}")
    log(f"said: {said[0]!r}")

    # Turned off from outside after the manager's own one-second window: back on.
    time.sleep(max(0.0, turned_on + 1.3 - time.monotonic()))
    d.app.sim("off")
    wait_for(d, d.app.sim_enabled, 3, "Keep Always On to undo an outside turn-off")
    check(stays(d.app.sim_enabled, 1.0), "night light did not stay on")
    time.sleep(max(0.0, started + 6.5 - time.monotonic()))
    check(app.poll() is None, f"it ended without a tray (status {app.returncode})")

    # A later launch from a terminal opens the running copy's window.
    second = d.session.run([d.app.binary], check=False, timeout=30)
    check(second.returncode == 0, f"the second launch ended with {second.returncode}: {second.stderr}")
    window = wait_for(d, lambda: controls_window(d, app.pid), 5, "the controls window after a second launch")
    title = d.input.title(window.id)
    log(f"window {title!r} at {window}")
    check(title == "Duskwarden", f"the window is titled {title!r}")
    d.shots.save("no-tray-window.png")

    # Covered by another window, a further launch raises it.
    cover = d.session.spawn(["xmessage", "-geometry", f"400x300+{window.x}+{window.y}", "covering"])
    top = lambda: d.xconn.stacking()[-1]  # noqa: E731
    wait_for(d, lambda: top() != window.id, 5, "the covering window on top")
    d.session.run([d.app.binary], check=False, timeout=30)
    wait_for(d, lambda: top() == window.id, 5, "the controls window raised above the cover")
    d.session.stop(cover)

    # Quit is in the window: its shortcut ends the program.
    d.input.xdotool("windowfocus", "--sync", window.id)
    d.input.key("ctrl+q")
    wait_for(d, lambda: app.poll() is not None, 10, "Quit from the window")
    check(app.returncode == 0, f"Quit ended it with status {app.returncode}")


def late_tray(d, shell):
    log_path = d.session.path("user.log")
    app = d.app.launch(log_path)
    started = time.monotonic()
    wait_for(d, lambda: controls_window(d, app.pid), 5, "the window at a launch from the terminal")
    time.sleep(max(0.0, started + 3.0 - time.monotonic()))
    enabled = time.monotonic()
    shell.enable_appindicator()
    items = wait_for(d, lambda: sni.items(d.bus), 5, "the item to register with the late watcher")
    log(f"item {items[0]} registered {time.monotonic() - enabled:.2f} s after the extension was enabled")
    wait_for(d, lambda: controls_window(d, app.pid) is None, 5, "the window to close once the tray is there")
    check(app.poll() is None, "it ended when the tray came")
    return app, items[0]


def menu_dump(layout):
    """The layout's items as the host would list them, one a line."""
    lines = []
    for item_id, props in re.findall(r"<\((\d+), \{(.*?)\}, @av \[\]\)>", layout):
        label = re.search(r"'label': <'([^']*)'>", props)
        keys = re.search(r"'shortcut': <\[\[(.*?)\]\]>", props)
        if "'type': <'separator'>" in props:
            text = "-" * 24
        else:
            text = label.group(1) if label else "?"
        if keys:
            text = f"{text:<28}{'+'.join(k.strip(chr(39) + ' ') for k in keys.group(1).split(','))}"
        lines.append(f"  [{item_id}] {text}")
    return lines


def appindicator(d, app, item):
    for name, want in (("Category", "'ApplicationStatus'"), ("Id", "'com.quillmoor.Duskwarden'"),
                       ("ItemIsMenu", "false"), ("Status", "'Active'")):
        value = sni.item_property(d.bus, item, name) or ""
        check(want in value, f"{name} is {value}, not {want}")

    layout = sni.menu_layout(d.bus, item)
    check(layout, "the item exports no menu")
    lines = menu_dump(layout)
    revision = re.match(r"\(uint32 (\d+)", layout)
    os.makedirs(d.shots.directory, exist_ok=True)
    with open(os.path.join(d.shots.directory, "appindicator-menu.txt"), "w") as f:
        f.write(f"The menu GNOME's AppIndicator host draws for {item}\n"
                f"(com.canonical.dbusmenu GetLayout, revision {revision.group(1) if revision else '?'}):\n\n")
        f.write("\n".join(lines) + "\n\nAs read over D-Bus:\n" + layout + "\n")
    log("menu:\n" + "\n".join(lines))
    labels = [line.split("] ", 1)[1].split("  ")[0] for line in lines]
    check(labels[:2] == ["Show Controls", "Check for Updates..."] and labels[2].startswith("---")
          and labels[3] == "Quit Duskwarden", f"the menu reads {labels}")

    # The host's single left click opens this menu: its first item opens the popover, at the pointer.
    d.input.move(600, 300)
    sni.menu_event(d.bus, item, 1)
    pop = wait_for(d, lambda: trayui.popover(d, app.pid), 5, "the popover from Show Controls")
    want = origin_at(600, 300, pop.w, pop.h)
    log(f"Show Controls: popover at {pop}, expected near {want}")
    check(abs(pop.x - want[0]) <= NEAR and abs(pop.y - want[1]) <= NEAR, "the popover is not at the pointer")
    trayui.close_popover(d, pop)

    # Activate(x, y), as on a double click: the popover hangs from that position.
    before = set(d.xconn.stacking())
    cover = d.session.spawn(["xmessage", "-geometry", "200x100+100+600", "elsewhere"])
    elsewhere = wait_for(d, lambda: set(d.xconn.stacking()) - before, 5, "a window to move the focus to").pop()
    sni.activate(d.bus, item, 1100, 10)
    pop = wait_for(d, lambda: trayui.popover(d, app.pid), 5, "the popover from Activate")
    want = origin_at(1100, 10, pop.w, pop.h)
    log(f"Activate(1100, 10): popover at {pop}, expected near {want}")
    check(abs(pop.x - want[0]) <= NEAR and abs(pop.y - want[1]) <= NEAR, "the popover is not where Activate placed it")
    check(0 <= pop.x and pop.x + pop.w <= SCREEN[0] and pop.y + pop.h <= SCREEN[1], "the popover leaves the screen")
    opened = time.monotonic()
    d.shots.save("sni-activate-popover.png")

    # The focus goes to another window after a moment's use: it closes. (A
    # focus lost at once is a compositor refusing it, which the popover outlasts.)
    time.sleep(max(0.0, opened + 0.8 - time.monotonic()))
    d.input.xdotool("windowfocus", elsewhere)
    wait_for(d, lambda: trayui.popover(d, app.pid) is None, 5, "the popover to close when the focus left")
    d.wait_ungrabbed()
    d.session.stop(cover)

    # ContextMenu(x, y): our menu, at that position.
    sni.context_menu(d.bus, item, 1100, 10)
    menu = wait_for(d, lambda: trayui.menu(d, app.pid), 5, "the menu from ContextMenu")
    log(f"ContextMenu(1100, 10): menu at {menu}")
    check(abs(menu.y - 10) <= NEAR and menu.x <= 1100 + NEAR and menu.x + menu.w >= 1100 - NEAR,
          "the menu is not at the position ContextMenu gave")
    d.input.key("Escape")
    wait_for(d, lambda: trayui.menu(d, app.pid) is None, 5, "the menu to close")
    d.wait_ungrabbed()

    # Quit as the host's menu sends it: the program ends and its item leaves the panel.
    sni.menu_event(d.bus, item, 4)
    wait_for(d, lambda: app.poll() is not None, 10, "Quit from the host's menu")
    check(app.returncode == 0, f"Quit ended it with status {app.returncode}")
    wait_for(d, lambda: not sni.items(d.bus), 5, "the item to leave the watcher")


def main():
    build = sys.argv[1]
    with XDesktop(build, tray=False, session_bus=True, logind=True, artifacts="e2e-shell-gnome",
                  background="#202830") as d:
        d.env["DUSKWARDEN_NIGHTLIGHT_BACKEND"] = "sim"
        try:
            shell = GnomeShell(d.session, d.bus)
            log(f"GNOME Shell {shell.version()} up in {shell.startup_seconds:.1f} s")
            no_tray(d)
            app, item = late_tray(d, shell)
            appindicator(d, app, item)
        except Failure:
            d.shots.save("failure.png")
            raise
    log("passed")


if __name__ == "__main__":
    START = time.monotonic()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        main()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
