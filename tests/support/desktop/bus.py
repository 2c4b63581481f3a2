"""Private D-Bus buses: a session bus, a stand-in system bus, and logind
mocked on it with python3-dbusmock's template. Calls go through gdbus, so
the fixture needs no D-Bus binding of its own."""

import os
import subprocess

from wait import wait_for

SYSTEM_PYTHON = "/usr/bin/python3"  # dbusmock is a Debian package: the system interpreter has it
_ANY_USER_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default"><allow user="*"/></policy>
</busconfig>
"""


class Bus:
    """One dbus-daemon of ours. `kind` is "session" or "system" (which bus
    address variable it serves); both run the session configuration, so any
    client may own a name — a mocked system service included."""

    def __init__(self, session, kind="session", any_user=False):
        if kind not in ("session", "system"):
            raise ValueError(f"unknown bus kind {kind!r}")
        self.session = session
        self.kind = kind
        argv = ["dbus-daemon", "--nofork", "--nosyslog", "--print-address=1"]
        if any_user:
            # A compositor run as another user (sway refuses root) and its bar
            # share this bus with the test's own clients.
            config = session.path(f"{kind}-bus.conf")
            with open(config, "w") as f:
                f.write(_ANY_USER_CONFIG)
            argv.append(f"--config-file={config}")
        else:
            argv.append("--session")
        if kind == "system":
            # Where clients look for the system bus inside this session.
            argv.append(f"--address=unix:path={session.runtime}/system_bus_socket")
        # The daemon starts with the session's HOME and XDG directories in its
        # environment, so the services it activates (dconf) write there.
        self.proc = session.spawn(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.address = self.proc.stdout.readline().decode().strip()
        self.proc.stdout.close()
        if not self.address:
            raise RuntimeError(f"the private {kind} bus did not start")
        session.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"] = self.address

    def gdbus(self, *args, check=False, timeout=30):
        return self.session.run(["gdbus", *args[:1], f"--{self.kind}", *args[1:]], check=check, timeout=timeout)

    def call(self, dest, path, method, *args, check=True, timeout=30):
        """`gdbus call`; returns its output (GVariant text). `args` are GVariant text too."""
        out = self.gdbus("call", "--dest", dest, "--object-path", path, "--method", method, *args,
                         check=check, timeout=timeout)
        return out.stdout.strip() if out.returncode == 0 else None

    def get_property(self, dest, path, interface, name):
        return self.call(dest, path, "org.freedesktop.DBus.Properties.Get", interface, name, check=False)

    def has_owner(self, name):
        out = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", name,
                        check=False)
        return out == "(true,)"

    def names(self):
        out = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames",
                        check=False) or ""
        return sorted(n.strip(" '[]()") for n in out.split(",") if n.strip(" '[]()") and not
                      n.strip(" '[]()").startswith(":"))

    def wait_for_name(self, name, timeout=15.0):
        wait_for(lambda: self.has_owner(name), timeout, f"{name} on the private {self.kind} bus")

    def close(self):
        self.session.stop(self.proc)


class Logind:
    """systemd-logind as python3-dbusmock's template on a private system bus:
    enough for a compositor that asks logind about its session, and for a test
    that sends resume (PrepareForSleep) or VT switches (a session's Active)."""

    NAME, PATH = "org.freedesktop.login1", "/org/freedesktop/login1"
    MANAGER = "org.freedesktop.login1.Manager"

    def __init__(self, system_bus):
        self.bus = system_bus
        session = system_bus.session
        self.proc = session.spawn([SYSTEM_PYTHON, "-m", "dbusmock", "--system", "--template", "logind"],
                                  log=session.path("logind-mock.log"))
        system_bus.wait_for_name(self.NAME)

    def _mock(self, path, method, *args):
        return self.bus.call(self.NAME, path, "org.freedesktop.DBus.Mock." + method, *args)

    def add_session(self, session_id="c1", seat="seat0", uid=None, user="tester", active=True):
        """Adds a session (and its seat and user); returns its object path."""
        uid = os.getuid() if uid is None else uid
        out = self._mock(self.PATH, "AddSession", session_id, seat, f"uint32 {uid}", user,
                         "true" if active else "false")
        return out.strip("(),'")

    def set_active(self, session_path, active):
        """Changes a session's Active property, with PropertiesChanged, as a VT switch does."""
        self._mock(session_path, "UpdateProperties", "org.freedesktop.login1.Session",
                   "{'Active': <%s>}" % ("true" if active else "false"))

    def prepare_for_sleep(self, starting):
        """Emits Manager.PrepareForSleep(starting): true before suspend, false on resume."""
        self._mock(self.PATH, "EmitSignal", self.MANAGER, "PrepareForSleep", "b",
                   "[<%s>]" % ("true" if starting else "false"))

    def close(self):
        self.bus.session.stop(self.proc)
