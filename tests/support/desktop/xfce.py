"""Xfce's panel 4.18 on the session's X server, holding just its systray
plugin, which hosts both kinds of tray icon: XEmbed (it owns the
_NET_SYSTEM_TRAY selection) and StatusNotifierItem (it registers
org.kde.StatusNotifierWatcher and a host on the session bus). Its settings
come from xfconfd, which the private bus starts on demand."""

import os
import time

from .procs import wait_for
from .x11 import XConnection

WATCHER = "org.kde.StatusNotifierWatcher"

# One panel along the top with the systray plugin only. Written before the
# panel starts: without a channel it asks on screen which layout to use.
PANEL_CHANNEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="{size}"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


class XfcePanel:
    """Starts xfce4-panel in `session` on its X server ($DISPLAY) and `bus`
    (private session Bus); sets XDG_CURRENT_DESKTOP=XFCE."""

    def __init__(self, session, bus, size=26, timeout=20.0):
        if not session.env.get("DISPLAY"):
            raise ValueError("the panel needs an X server (Xvfb) in the session")
        self.session = session
        self.bus = bus
        channels = os.path.join(session.config, "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(channels, exist_ok=True)
        with open(os.path.join(channels, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CHANNEL.format(size=size))
        session.env["XDG_CURRENT_DESKTOP"] = "XFCE"
        started = time.monotonic()
        # Without a window manager the panel waits 5 s for one before it starts.
        self.proc = session.spawn(["xfce4-panel", "--disable-wm-check"], log=session.path("xfce4-panel.log"))
        if not wait_for(self.ready, timeout, interval=0.05):
            raise RuntimeError("xfce4-panel's tray did not come up: " + self._log_tail())
        self.startup_seconds = time.monotonic() - started

    def _log_tail(self):
        with open(self.session.path("xfce4-panel.log"), errors="replace") as f:
            return f.read()[-1500:]

    def sni_host_registered(self):
        out = self.bus.get_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "IsStatusNotifierHostRegistered")
        return out == "(<true>,)"

    def xembed_tray_owner(self):
        """The window owning _NET_SYSTEM_TRAY_S0 (0: no XEmbed tray)."""
        conn = XConnection(self.session.env["DISPLAY"])
        try:
            return conn.selection_owner("_NET_SYSTEM_TRAY_S0")
        finally:
            conn.close()

    def ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"xfce4-panel exited with {self.proc.returncode}: " + self._log_tail())
        return self.sni_host_registered() and self.xembed_tray_owner() != 0

    def close(self):
        self.session.stop(self.proc)
