"""MATE's panel 1.27 on the session's X server: one top panel holding just
its notification area applet, which hosts StatusNotifierItems (it registers
org.kde.StatusNotifierWatcher and a host on the session bus) and XEmbed
icons. The panel keeps its layout in dconf, which the private bus starts;
the applet is a process of its own that the bus starts for the panel."""

import time

from . import sni
from .procs import log_tail, wait_for

# Read once, when the panel finds no panels of its own in dconf.
LAYOUT = """[Toplevel top]
expand=true
orientation=top
size={size}

[Object notification-area]
object-type=applet
applet-iid=NotificationAreaAppletFactory::NotificationArea
toplevel-id=top
position=0
relative-to-edge=end
locked=true
"""


class MatePanel:
    """Starts mate-panel in `session` on its X server ($DISPLAY) and `bus`
    (private session Bus); sets XDG_CURRENT_DESKTOP=MATE."""

    def __init__(self, session, bus, size=24, timeout=30.0):
        if not session.env.get("DISPLAY"):
            raise ValueError("the panel needs an X server (Xvfb) in the session")
        self.session = session
        self.bus = bus
        layout = session.path("duskwarden.layout")
        with open(layout, "w") as f:
            f.write(LAYOUT.format(size=size))
        started = time.monotonic()
        # A layout is named (one in /usr/share/mate-panel/layouts) or a path.
        session.run(["gsettings", "set", "org.mate.panel", "default-layout", layout])
        session.env["XDG_CURRENT_DESKTOP"] = "MATE"
        # The bus starts the applet: it needs the display even where the bus came first.
        bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.UpdateActivationEnvironment",
                 f"{{'DISPLAY': '{session.env['DISPLAY']}'}}")
        self.proc = session.spawn(["mate-panel"], log=session.path("mate-panel.log"))
        if not wait_for(self.ready, timeout, interval=0.05):
            raise RuntimeError("mate-panel's notification area did not come up: " + log_tail(self.proc))
        self.startup_seconds = time.monotonic() - started

    def ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"mate-panel exited with {self.proc.returncode}: " + log_tail(self.proc))
        return sni.host_registered(self.bus)

    def close(self):
        self.session.stop(self.proc)

