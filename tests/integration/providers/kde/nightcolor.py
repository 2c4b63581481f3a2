"""KWin's Night Color from outside, for the KDE backend's tests: its D-Bus
properties (on whichever object this KWin serves), the user changing kwinrc
the way System Settings does, another client inhibiting it, and a count of
the KConfig change signals on the bus."""

import os
import re
import subprocess

from desktop.bus import SYSTEM_PYTHON
from wait import wait_for


def properties(kwin):
    """{name: bool or int} of the Night Color object; {} when it is absent."""
    text = kwin.night_color() or ""
    found = {}
    for key, value in re.findall(r"'(\w+)': <(?:u?int\d+ )?([^>]*)>", text):
        found[key] = value == "true" if value in ("true", "false") else int(value)
    return found


def warm(kwin):
    p = properties(kwin)
    return bool(p) and p["enabled"] and p["running"] and p["targetTemperature"] < 6500


def kwinrc_path(session):
    return os.path.join(session.config, "kwinrc")


def read_kwinrc(session):
    with open(kwinrc_path(session), "rb") as f:
        return f.read()


def wait_for_kwins_own_writes(session, timeout=10.0):
    """KWin 5.27 saves kwinrc twice after starting: its desktops at once, its
    tiling layout about 2 s later, each time rewriting the whole file the way
    KConfig does (comments and layout go). A test that checks kwinrc byte for
    byte starts after both."""
    def done():
        try:
            return "[Tiling]" in read_kwinrc(session).decode(errors="replace")
        except FileNotFoundError:
            return False
    wait_for(done, timeout, "KWin to save its tiling layout into kwinrc")


def config_changed(bus, *keys):
    """ConfigChanged for [NightColor] `keys`, as KConfig sends it: key names as
    byte arrays without a terminating NUL."""
    arrays = ", ".join("[byte " + ", ".join(hex(b) for b in key.encode()) + "]" for key in keys)
    bus.gdbus("emit", "--object-path", "/kwinrc", "--signal", "org.kde.kconfig.notify.ConfigChanged",
              "{'NightColor': [%s]}" % arrays, check=True)


def user_sets(session, bus, key, value):
    """The user changes one [NightColor] key in System Settings: the value in
    kwinrc, then the change signal."""
    path = kwinrc_path(session)
    with open(path) as f:
        text = f.read()
    group = re.search(r"^\[NightColor\]\n(?:(?!\[).*\n?)*", text, re.M)
    section = re.sub(r"^(\s*%s\s*=[ \t]*)[^\s]*" % key, lambda m: m.group(1) + value, group.group(0), flags=re.M)
    with open(path, "w") as f:
        f.write(text[:group.start()] + section + text[group.end():])
    config_changed(bus, key)


class ConfigChangedCounter:
    """Every org.kde.kconfig.notify.ConfigChanged on the bus from now on."""

    def __init__(self, session, bus):
        self.session = session
        self.log = session.path("config-changed.log")
        self.proc = session.spawn(["dbus-monitor", "--address", bus.address,
                                   "type='signal',interface='org.kde.kconfig.notify',member='ConfigChanged'"],
                                  log=self.log)
        # dbus-monitor prints its own NameAcquired once it listens.
        if not wait_for(lambda: "NameAcquired" in self._text(), 10):
            raise RuntimeError("dbus-monitor did not start")

    def _text(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def count(self):
        return self._text().count("member=ConfigChanged")


_INHIBITOR = """
import sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
def call(method, args, reply):
    return bus.call_sync("%s", "%s", "%s", method, args, GLib.VariantType(reply), 0, -1, None)
cookie = call("inhibit", None, "(u)").unpack()[0]
print("inhibited", cookie, flush=True)
sys.stdin.readline()
call("uninhibit", GLib.Variant("(u)", (cookie,)), "()")
print("released", flush=True)
sys.stdin.readline()
"""


class Inhibitor:
    """Another client holding an inhibition of `kwin`'s Night Color until release()."""

    def __init__(self, session, kwin):
        self.proc = session.spawn([SYSTEM_PYTHON, "-c", _INHIBITOR % kwin.object], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=None)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("inhibited"):
            raise RuntimeError("the inhibitor did not get a cookie")

    def release(self):
        self.proc.stdin.write(b"release\n")
        self.proc.stdin.flush()
        if not self.proc.stdout.readline().decode().startswith("released"):
            raise RuntimeError("the inhibitor could not release")
