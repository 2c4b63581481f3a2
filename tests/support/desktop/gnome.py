"""GNOME Shell 43 headless: `gnome-shell --headless --virtual-monitor`, on the
session's private bus, with logind mocked on a private system bus (the shell
will not start without one). Stock GNOME Shell hosts no tray icons; the
AppIndicator extension (ubuntu-appindicators@ubuntu.com, Ubuntu's default)
adds a StatusNotifierWatcher and host when `enable_appindicator()` asks."""

import os
import time

from wait import wait_for

SHELL, SHELL_PATH = "org.gnome.Shell", "/org/gnome/Shell"
EXTENSIONS = "org.gnome.Shell.Extensions"
APPINDICATOR = "ubuntu-appindicators@ubuntu.com"
WATCHER = "org.kde.StatusNotifierWatcher"


class GnomeShell:
    """Starts the shell in `session` on `bus` (private session Bus); needs
    the session's system bus to carry logind (bus.Logind). Sets
    XDG_CURRENT_DESKTOP=GNOME; the shell's Wayland socket name is
    `wayland_display` (not exported: a client meant for an X server of its
    own, as most tray tests are, would otherwise pick Wayland)."""

    def __init__(self, session, bus, width=1280, height=800, timeout=60.0):
        if "system_bus_socket" not in session.env.get("DBUS_SYSTEM_BUS_ADDRESS", ""):
            raise ValueError("GNOME Shell needs a private system bus with logind (Bus(session, 'system'), Logind)")
        self.session = session
        self.bus = bus
        started = time.monotonic()
        env = {k: v for k, v in session.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["XDG_CURRENT_DESKTOP"] = "GNOME"
        self.proc = session.spawn(["gnome-shell", "--headless", "--virtual-monitor", f"{width}x{height}"],
                                  log=session.path("gnome-shell.log"), env=env)
        # The bus name comes early; the Extensions interface only once the shell has started.
        if not wait_for(self._extensions_ready, timeout, interval=0.1):
            raise RuntimeError("GNOME Shell did not start: " + self._log_tail())
        self.startup_seconds = time.monotonic() - started
        sockets = sorted(n for n in os.listdir(session.runtime) if n.startswith("wayland-") and "." not in n)
        self.wayland_display = sockets[0] if sockets else None
        session.env["XDG_CURRENT_DESKTOP"] = "GNOME"

    def _log_tail(self):
        with open(self.session.path("gnome-shell.log"), errors="replace") as f:
            return f.read()[-2000:]

    def _extensions_ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"gnome-shell exited with {self.proc.returncode}: " + self._log_tail())
        return self.bus.get_property(SHELL, SHELL_PATH, EXTENSIONS, "ShellVersion") is not None

    def version(self):
        return (self.bus.get_property(SHELL, SHELL_PATH, EXTENSIONS, "ShellVersion") or "").strip("(<>,)'")

    def extension_state(self, uuid=APPINDICATOR):
        """The shell's extension info (GVariant text), e.g. its 'state' (1.0 = enabled)."""
        return self.bus.call(SHELL, SHELL_PATH, EXTENSIONS + ".GetExtensionInfo", uuid, check=False)

    def enable_extension(self, uuid):
        out = self.bus.call(SHELL, SHELL_PATH, EXTENSIONS + ".EnableExtension", uuid, check=False)
        if out != "(true,)":
            raise RuntimeError(f"EnableExtension({uuid}) answered {out}: " + self._log_tail())

    def disable_extension(self, uuid):
        self.bus.call(SHELL, SHELL_PATH, EXTENSIONS + ".DisableExtension", uuid)

    def enable_appindicator(self, timeout=15.0):
        """Enables the AppIndicator extension and waits for its StatusNotifierWatcher."""
        self.enable_extension(APPINDICATOR)
        self.bus.wait_for_name(WATCHER, timeout)

    def disable_appindicator(self, timeout=15.0):
        self.disable_extension(APPINDICATOR)
        if not wait_for(lambda: not self.bus.has_owner(WATCHER), timeout, interval=0.05):
            raise TimeoutError("the StatusNotifierWatcher stayed after disabling the extension")

    def close(self):
        self.session.stop(self.proc, timeout=10)
