"""LXQt's panel 1.2 on the session's X server, holding just its Status
Notifier plugin, which registers org.kde.StatusNotifierWatcher and a host on
the session bus (StatusNotifierItems only: XEmbed icons need its separate
tray plugin). Its settings are a file, $XDG_CONFIG_HOME/lxqt/panel.conf."""

import os
import time

from . import sni
from .procs import log_tail, wait_for

# One panel along the top with the Status Notifier plugin at its right end.
# __userfile__ keeps the panel from merging in /usr/share/lxqt/panel.conf.
PANEL_CONF = """[General]
__userfile__=true

[panel1]
plugins=statusnotifier
position=Top
panelSize={size}
iconSize=22
lineCount=1
desktop=0

[statusnotifier]
type=statusnotifier
alignment=Right
"""


class LxqtPanel:
    """Starts lxqt-panel in `session` on its X server ($DISPLAY) and `bus`
    (private session Bus); sets XDG_CURRENT_DESKTOP=LXQt."""

    def __init__(self, session, bus, size=26, timeout=20.0):
        if not session.env.get("DISPLAY"):
            raise ValueError("the panel needs an X server (Xvfb) in the session")
        self.session = session
        self.bus = bus
        os.makedirs(os.path.join(session.config, "lxqt"), exist_ok=True)
        with open(os.path.join(session.config, "lxqt", "panel.conf"), "w") as f:
            f.write(PANEL_CONF.format(size=size))
        session.env["XDG_CURRENT_DESKTOP"] = "LXQt"
        started = time.monotonic()
        self.proc = session.spawn(["lxqt-panel"], log=session.path("lxqt-panel.log"),
                                  extra_env={"QT_QPA_PLATFORM": "xcb"})
        if not wait_for(self.ready, timeout, interval=0.05):
            raise RuntimeError("lxqt-panel's Status Notifier did not come up: " + log_tail(self.proc))
        self.startup_seconds = time.monotonic() - started

    def ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"lxqt-panel exited with {self.proc.returncode}: " + log_tail(self.proc))
        return sni.host_registered(self.bus)

    def close(self):
        self.session.stop(self.proc)

