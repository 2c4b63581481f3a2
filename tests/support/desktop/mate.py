"""MATE's panel 1.27 on the session's X server: one top panel holding just
its notification area applet, which hosts StatusNotifierItems (it registers
org.kde.StatusNotifierWatcher and a host on the session bus) and XEmbed
icons. The panel keeps its layout in dconf, which the private bus starts;
the applet is a process of its own that the bus starts for the panel."""

from .sni import Panel

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


class MatePanel(Panel):
    """Starts mate-panel in `session` on its X server and `bus` (sni.Panel)."""

    def __init__(self, session, bus, size=24, timeout=30.0):
        layout = session.path("duskwarden.layout")
        with open(layout, "w") as f:
            f.write(LAYOUT.format(size=size))
        # A layout is named (one in /usr/share/mate-panel/layouts) or a path.
        session.run(["gsettings", "set", "org.mate.panel", "default-layout", layout])
        # The bus starts the applet: it needs the display even where the bus came first.
        bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.UpdateActivationEnvironment",
                 f"{{'DISPLAY': '{session.env.get('DISPLAY', '')}'}}")
        super().__init__(session, bus, ["mate-panel"], "MATE", timeout)
