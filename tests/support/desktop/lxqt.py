"""LXQt's panel 1.2 on the session's X server, holding just its Status
Notifier plugin, which registers org.kde.StatusNotifierWatcher and a host on
the session bus (StatusNotifierItems only: XEmbed icons need its separate
tray plugin). Its settings are a file, $XDG_CONFIG_HOME/lxqt/panel.conf."""

import os

from .sni import Panel

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


class LxqtPanel(Panel):
    """Starts lxqt-panel in `session` on its X server and `bus` (sni.Panel)."""

    def __init__(self, session, bus, size=26, timeout=20.0):
        os.makedirs(os.path.join(session.config, "lxqt"), exist_ok=True)
        with open(os.path.join(session.config, "lxqt", "panel.conf"), "w") as f:
            f.write(PANEL_CONF.format(size=size))
        super().__init__(session, bus, ["lxqt-panel"], "LXQt", timeout, {"QT_QPA_PLATFORM": "xcb"})
