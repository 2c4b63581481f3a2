"""Headless sway 1.7 (wlroots 0.15) with the pixman renderer and no input
devices. sway refuses to run as root, so under root it runs as `nobody`
(setpriv) with a runtime directory of that user's; root's clients reach its
sockets all the same. Its headless outputs advertise wlr-gamma-control but
have no gamma: every control gets `failed`."""

import json
import os
import pwd
import shutil
import tempfile
import time

from wait import wait_for

NOBODY = 65534


class Sway:
    """Starts sway in `session` and points the session's environment at it:
    WAYLAND_DISPLAY (a link in the session's runtime directory to sway's
    socket), SWAYSOCK, XDG_SESSION_TYPE=wayland, XDG_CURRENT_DESKTOP=sway,
    and DISPLAY when `xwayland`. `bar` runs swaybar, whose tray is a
    StatusNotifierItem host on `bus` (a Bus made with any_user=True)."""

    def __init__(self, session, width=1280, height=800, bar=False, bus=None, xwayland=False, timeout=15.0):
        if bar and bus is None:
            raise ValueError("swaybar's tray needs a session bus (Bus(session, any_user=True))")
        self.session = session
        as_root = os.geteuid() == 0
        self.uid = NOBODY if as_root else os.geteuid()
        # Its own directory: the session's is root's and closed to others.
        self.dir = tempfile.mkdtemp(prefix="dw-sway-")
        session.defer(lambda: shutil.rmtree(self.dir, ignore_errors=True))
        os.chmod(self.dir, 0o711)
        self.runtime = os.path.join(self.dir, "run")
        os.mkdir(self.runtime, 0o700)
        self.config = os.path.join(self.dir, "config")
        with open(self.config, "w") as f:
            f.write(f"output HEADLESS-1 resolution {width}x{height}\n"
                    f"xwayland {'enable' if xwayland else 'disable'}\n")
            if bar:
                f.write("bar {\n  position top\n  tray_output *\n}\n")
        os.chmod(self.config, 0o644)
        if as_root:
            os.chown(self.runtime, NOBODY, NOBODY)
        env = {"PATH": "/usr/bin:/bin", "HOME": self.dir, "XDG_RUNTIME_DIR": self.runtime,
               "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
        if bus is not None:
            env["DBUS_SESSION_BUS_ADDRESS"] = bus.address
        argv = ["sway", "-c", self.config]
        if as_root:
            argv = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", *argv]
        started = time.monotonic()
        self.proc = session.spawn(argv, log=session.path("sway.log"), env=env)
        self.ipc = wait_for(self._ipc_socket, timeout, interval=0.02)
        if not self.ipc or not wait_for(lambda: self.msg("-t", "get_version", check=False), timeout, interval=0.05):
            raise RuntimeError("sway did not start: " + self._log_tail())
        sockets = sorted(n for n in os.listdir(self.runtime) if n.startswith("wayland-") and "." not in n)
        if not sockets:
            raise RuntimeError("sway has no Wayland socket: " + self._log_tail())
        self.socket = os.path.join(self.runtime, sockets[0])
        link = os.path.join(session.runtime, "wayland-sway")
        os.symlink(self.socket, link)
        session.env.update(WAYLAND_DISPLAY="wayland-sway", SWAYSOCK=self.ipc, XDG_SESSION_TYPE="wayland",
                           XDG_CURRENT_DESKTOP="sway")
        if xwayland:
            self._open_xwayland()
        self.startup_seconds = time.monotonic() - started

    def _open_xwayland(self):
        """Sets DISPLAY to sway's Xwayland and lets this process's user in:
        Xwayland admits only its own user (nobody, under root)."""
        self.session.env["DISPLAY"] = self._sway_env("DISPLAY")
        if self.uid != os.geteuid():
            self.msg("exec", f"xhost +si:localuser:{pwd.getpwuid(os.geteuid()).pw_name}")
        opens = lambda: self.session.run(["xdpyinfo"], check=False).returncode == 0  # noqa: E731
        if not wait_for(opens, 15, interval=0.1):
            raise RuntimeError("sway's Xwayland did not admit us: " + self._log_tail())

    def _ipc_socket(self):
        prefix = f"sway-ipc.{self.uid}.{self.proc.pid}."
        names = [n for n in os.listdir(self.runtime) if n.startswith(prefix)]
        return os.path.join(self.runtime, names[0]) if names else None

    def _log_tail(self):
        with open(self.session.path("sway.log"), errors="replace") as f:
            return f.read()[-1500:]

    def msg(self, *args, check=True):
        """swaymsg -r ARGS: the decoded JSON reply; None (or an error when `check`) on failure."""
        out = self.session.run(["swaymsg", "-s", self.ipc, "-r", *args], check=False, timeout=20)
        if out.returncode != 0:
            if check:
                raise RuntimeError(f"swaymsg {' '.join(args)} failed: {out.stdout.strip()} {out.stderr.strip()}")
            return None
        return json.loads(out.stdout)

    def outputs(self):
        return [o["name"] for o in self.msg("-t", "get_outputs")]

    def create_output(self):
        """Adds a headless output (a hotplug, to clients); returns its name."""
        before = set(self.outputs())
        self.msg("create_output")
        added = wait_for(lambda: set(self.outputs()) - before, 5, interval=0.02)
        if not added:
            raise RuntimeError("create_output added no output")
        return added.pop()

    def set_output_enabled(self, name, enabled):
        """Enables or disables an output (sway 1.7 has no `unplug`; a disabled
        output's wl_output leaves the registry)."""
        self.msg("output", name, "enable" if enabled else "disable")

    def bar_running(self):
        return bool(self.msg("-t", "get_bar_config"))

    def _sway_env(self, name):
        """A variable of sway's own environment (what its children get), read through `exec`."""
        path = os.path.join(self.runtime, "env-" + name)
        self.msg("exec", f'printf %s "${name}" > {path}.tmp && mv {path}.tmp {path}')
        if not wait_for(lambda: os.path.exists(path), 10, interval=0.02):
            raise RuntimeError(f"could not read {name} from sway")
        with open(path) as f:
            return f.read()

    def close(self):
        self.session.stop(self.proc)
