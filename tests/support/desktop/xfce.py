"""Xfce's panel 4.18 on the session's X server, holding just its systray
plugin, which hosts both kinds of tray icon: XEmbed (it owns the
_NET_SYSTEM_TRAY selection) and StatusNotifierItem (it registers
org.kde.StatusNotifierWatcher and a host on the session bus). Its settings
come from xfconfd, which the private bus starts on demand."""

import os

from .sni import Panel
from .x11 import XConnection

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


class XfcePanel(Panel):
    """Starts xfce4-panel in `session` on its X server and `bus` (sni.Panel);
    ready once it also owns the XEmbed tray selection."""

    def __init__(self, session, bus, size=26, timeout=20.0):
        channels = os.path.join(session.config, "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(channels, exist_ok=True)
        with open(os.path.join(channels, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CHANNEL.format(size=size))
        # Without a window manager the panel waits 5 s for one before it starts.
        super().__init__(session, bus, ["xfce4-panel", "--disable-wm-check"], "XFCE", timeout)

    def xembed_tray_owner(self):
        """The window owning _NET_SYSTEM_TRAY_S0 (0: no XEmbed tray)."""
        conn = XConnection(self.session.env["DISPLAY"])
        try:
            return conn.selection_owner("_NET_SYSTEM_TRAY_S0")
        finally:
            conn.close()

    def ready(self):
        return super().ready() and self.xembed_tray_owner() != 0
