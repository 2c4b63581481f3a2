"""StatusNotifierItem, from the host's side: the items a watcher lists, and
the calls a panel makes on them (Activate, ContextMenu, the dbusmenu layout
and a chosen menu item)."""

import re
import time

from wait import wait_for

WATCHER, WATCHER_PATH = "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"


def items(bus):
    """The watcher's RegisteredStatusNotifierItems, e.g. ":1.7/StatusNotifierItem"
    (Xfce, swaybar), ":1.7@/StatusNotifierItem" (GNOME's AppIndicator extension)
    or "org.kde.StatusNotifierItem-42-1" ([] without a watcher)."""
    out = bus.get_property(WATCHER, WATCHER_PATH, WATCHER, "RegisteredStatusNotifierItems") or ""
    return re.findall(r"'([^']*)'", out)


def host_registered(bus):
    """Whether a panel has registered as a host with the watcher."""
    return bus.get_property(WATCHER, WATCHER_PATH, WATCHER, "IsStatusNotifierHostRegistered") == "(<true>,)"


def _split(item):
    """(bus name, object path) of a watcher's item string."""
    service, path = re.match(r"([^/@]+)@?(/.*)?$", item).groups()
    return service, path or "/StatusNotifierItem"


def item_property(bus, item, name):
    service, path = _split(item)
    return bus.get_property(service, path, ITEM, name)


def activate(bus, item, x=0, y=0):
    """A left click as Plasma, Xfce and swaybar send it."""
    service, path = _split(item)
    return bus.call(service, path, ITEM + ".Activate", str(x), str(y))


def context_menu(bus, item, x=0, y=0):
    service, path = _split(item)
    return bus.call(service, path, ITEM + ".ContextMenu", str(x), str(y))


def menu_event(bus, item, item_id, event="clicked"):
    """A host's report that the user chose menu item `item_id` (dbusmenu Event)."""
    service, _ = _split(item)
    menu = (item_property(bus, item, "Menu") or "").strip("(<>,)'").replace("objectpath ", "").strip("'")
    return bus.call(service, menu, "com.canonical.dbusmenu.Event", str(item_id), f"'{event}'", "<int32 0>",
                    "uint32 0", check=False)


def menu_layout(bus, item):
    """The item's exported com.canonical.dbusmenu layout (GVariant text): what a
    host that renders the menu itself would show. None when it has no menu."""
    service, _ = _split(item)
    menu = (item_property(bus, item, "Menu") or "").strip("(<>,)'")
    menu = menu.replace("objectpath ", "").strip("'")
    if menu in ("", "/", "/NO_DBUSMENU"):  # Qt's path for "no menu"
        return None
    # "int32 -1", not "-1": gdbus would read a bare -1 as an option.
    return bus.call(service, menu, "com.canonical.dbusmenu.GetLayout", "0", "int32 -1", "@as []", check=False)


class Panel:
    """A panel on the session's X server ($DISPLAY) whose tray hosts
    StatusNotifierItems on `bus` (a private session Bus): `argv` started with
    XDG_CURRENT_DESKTOP=`desktop`, ready once its host has registered."""

    def __init__(self, session, bus, argv, desktop, timeout, extra_env=None):
        if not session.env.get("DISPLAY"):
            raise ValueError("the panel needs an X server (Xvfb) in the session")
        self.session, self.bus, self.name = session, bus, argv[0]
        session.env["XDG_CURRENT_DESKTOP"] = desktop
        started = time.monotonic()
        self.proc = session.spawn(argv, log=session.path(self.name + ".log"), extra_env=extra_env)
        if not wait_for(self.ready, timeout, interval=0.05):
            raise RuntimeError(f"{self.name}'s tray did not come up: " + self._log_tail())
        self.startup_seconds = time.monotonic() - started

    def _log_tail(self):
        with open(self.proc.log, errors="replace") as f:
            return f.read()[-1500:]

    def ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"{self.name} exited with {self.proc.returncode}: " + self._log_tail())
        return host_registered(self.bus)

    def close(self):
        self.session.stop(self.proc)
