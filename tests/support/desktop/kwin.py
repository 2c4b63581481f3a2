"""KWin headless: kwin_wayland --virtual on the session's private bus, with
its night-light object and no Plasma session. KWin reads its night-light
settings from $XDG_CONFIG_HOME/kwinrc, so a test sets them there.

The object has moved between releases, with the same properties and
methods: Plasma 5.27 serves /ColorCorrect on org.kde.KWin and
org.kde.NightColor, Plasma 6 /org/kde/KWin/NightLight on its own name
org.kde.KWin.NightLight. KWin.object is the one this KWin serves."""

import os
import shutil
import time

from wait import wait_for

# (name, path, interface), newest first; the name is the one a client outside
# KWin (the program, another inhibiting client) reaches it by.
OBJECTS = (("org.kde.KWin.NightLight", "/org/kde/KWin/NightLight", "org.kde.KWin.NightLight"),
           ("org.kde.NightColor", "/ColorCorrect", "org.kde.kwin.ColorCorrect"))


class KWin:
    """Starts kwin_wayland in `session` on `bus` (a private session Bus) and
    points the session's environment at it: WAYLAND_DISPLAY,
    XDG_SESSION_TYPE=wayland, XDG_CURRENT_DESKTOP=KDE, KDE_FULL_SESSION, and
    DISPLAY and XAUTHORITY when `xwayland`."""

    SOCKET = "wayland-kwin"

    def __init__(self, session, bus, width=1280, height=800, xwayland=False, timeout=30.0):
        self.session = session
        self.bus = bus
        started = time.monotonic()
        # The installed binary carries a file capability (cap_sys_resource);
        # exec of it fails with EPERM in a container. A plain copy runs.
        binary = session.path("kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", binary)
        argv = [binary, "--virtual", "--no-lockscreen", "--socket", self.SOCKET, "--width", width,
                "--height", height]
        env_file = session.path("kwin-x11.env")
        if xwayland:
            # A program named after the options starts once Xwayland is up, with
            # its DISPLAY and XAUTHORITY: let one report them.
            report = session.path("kwin-x11-report.sh")
            with open(report, "w") as f:
                f.write(f'#!/bin/sh\nprintf "%s\\n%s\\n" "$DISPLAY" "$XAUTHORITY" > {env_file}.tmp\n'
                        f"mv {env_file}.tmp {env_file}\n")
            os.chmod(report, 0o755)
            argv += ["--xwayland", report]
        # No display of another desktop may leak in: KWin would become its client.
        env = {k: v for k, v in session.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.proc = session.spawn(argv, log=session.path("kwin.log"), env=env)
        self.object = None
        if not wait_for(self._find_object, timeout, interval=0.05):
            raise RuntimeError("KWin's night-light object did not appear (is kwin-common installed?): " +
                               self._log_tail())
        session.env.update(WAYLAND_DISPLAY=self.SOCKET, XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP="KDE",
                           KDE_FULL_SESSION="true")
        if xwayland:
            if not wait_for(lambda: os.path.exists(env_file), timeout, interval=0.05):
                raise RuntimeError("KWin's Xwayland did not start: " + self._log_tail())
            with open(env_file) as f:
                display, xauthority = (f.read().split("\n") + ["", ""])[:2]
            session.env["DISPLAY"] = display
            if xauthority:
                session.env["XAUTHORITY"] = xauthority
        self.startup_seconds = time.monotonic() - started

    def _log_tail(self):
        with open(self.session.path("kwin.log"), errors="replace") as f:
            return f.read()[-1500:]

    def _find_object(self):
        for found in OBJECTS:
            if self.bus.get_property(*found, "available") == "(<true>,)":
                self.object = found
                return True
        return False

    def night_color(self):
        """All properties of the night-light object as GVariant text (None when absent)."""
        name, path, interface = self.object
        return self.bus.call(name, path, "org.freedesktop.DBus.Properties.GetAll", interface, check=False)

    def night_color_property(self, prop):
        return self.bus.get_property(*self.object, prop)

    def night_color_available(self):
        return self.night_color_property("available") == "(<true>,)"

    def close(self):
        self.session.stop(self.proc)
