"""A private user session: temporary HOME and XDG directories, an environment
that points nowhere real, and every process started through it stopped (and
every directory removed) on exit — also when a test fails or is stopped with
SIGTERM or Ctrl-C."""

import os
import shutil
import signal
import subprocess
import tempfile
import threading

from .procs import Processes

# Variables that would lead a child into the real desktop or change how it runs.
_SCRUBBED = ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS",
             "DBUS_SYSTEM_BUS_ADDRESS", "XDG_SESSION_TYPE", "XDG_SESSION_ID", "XDG_SESSION_DESKTOP",
             "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "DESKTOP_SESSION", "SWAYSOCK", "I3SOCK", "GSETTINGS_BACKEND",
             "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME", "DUSKWARDEN_NIGHTLIGHT_BACKEND")


def _exit_on_sigterm():
    """CTest and `timeout` stop a test with SIGTERM: turn it into SystemExit so
    that context managers clean up. Only where nobody has claimed the signal."""
    if threading.current_thread() is threading.main_thread() and \
            signal.getsignal(signal.SIGTERM) == signal.SIG_DFL:
        signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(SystemExit(143)))


class PrivateSession:
    """Temporary HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME,
    XDG_STATE_HOME and a 0700 XDG_RUNTIME_DIR (on /dev/shm, a tmpfs like
    /run/user/UID), with `env` for children. No bus and no display yet:
    DBUS_*_BUS_ADDRESS lead nowhere until a bus is started, so nothing can
    autolaunch one or reach the real user's."""

    def __init__(self, prefix="dw-session"):
        _exit_on_sigterm()
        self.procs = Processes()
        self.root = tempfile.mkdtemp(prefix=prefix + "-")
        self._shm = tempfile.mkdtemp(prefix=prefix + "-run-", dir="/dev/shm") if os.path.isdir("/dev/shm") else None
        self.home = self.path("home")
        self.config = self.path("config")
        self.data = self.path("data")
        self.cache = self.path("cache")
        self.state = self.path("state")
        self.runtime = os.path.join(self._shm or self.root, "run")
        for d in (self.home, self.config, self.data, self.cache, self.state, self.runtime):
            os.makedirs(d, mode=0o700)
        os.chmod(self.runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items() if k not in _SCRUBBED}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=self.data,
                        XDG_CACHE_HOME=self.cache, XDG_STATE_HOME=self.state, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CURRENT_DESKTOP="", NO_AT_BRIDGE="1", GTK_A11Y="none",
                        DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/no-session-bus",
                        DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={self.root}/no-system-bus")
        self._deferred = []
        self.closed = False

    def path(self, *parts):
        """A path under the session's private root."""
        return os.path.join(self.root, *parts)

    # -- processes
    def spawn(self, argv, log=None, extra_env=None, env=None, **popen):
        """Starts a child in this session's environment (plus `extra_env`);
        its output goes to `log` (a path), else nowhere. Stopped on close."""
        child_env = dict(env or self.env)
        child_env.update(extra_env or {})
        return self.procs.start(argv, child_env, log=log, **popen)

    def stop(self, proc, timeout=5.0):
        return self.procs.stop(proc, timeout)

    def run(self, argv, check=True, env=None, timeout=60, **kw):
        """Runs a command to its end in this session; output captured as text."""
        return subprocess.run([str(a) for a in argv], env=env or self.env, check=check, capture_output=True,
                              text=True, timeout=timeout, **kw)

    # -- lifetime
    def defer(self, fn):
        """Calls `fn` on close, after every process has stopped (newest first)."""
        self._deferred.append(fn)

    def close(self):
        if self.closed:
            return
        self.closed = True
        try:
            self.procs.stop_all()
            while self._deferred:
                self._deferred.pop()()
        finally:
            shutil.rmtree(self.root, ignore_errors=True)
            if self._shm:
                shutil.rmtree(self._shm, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
