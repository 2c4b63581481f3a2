"""KWin 5.27 headless: kwin_wayland --virtual on the session's private bus,
with its Night Color object (/ColorCorrect on org.kde.KWin and
org.kde.NightColor) and no Plasma session. KWin reads its night-light
settings from $XDG_CONFIG_HOME/kwinrc, so a test sets them there."""

import os
import shutil
import time

from .procs import wait_for

NAMES = ("org.kde.KWin", "org.kde.NightColor")
PATH, INTERFACE = "/ColorCorrect", "org.kde.kwin.ColorCorrect"


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
        if not wait_for(self.night_color_available, timeout, interval=0.05):
            raise RuntimeError("KWin's Night Color object did not appear: " + self._log_tail())
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

    def night_color(self, name="org.kde.KWin"):
        """All properties of the Night Color object as GVariant text (None when absent)."""
        return self.bus.call(name, PATH, "org.freedesktop.DBus.Properties.GetAll", INTERFACE, check=False)

    def night_color_property(self, prop, name="org.kde.KWin"):
        return self.bus.get_property(name, PATH, INTERFACE, prop)

    def night_color_available(self):
        return self.night_color_property("available") == "(<true>,)"

    def close(self):
        self.session.stop(self.proc)
