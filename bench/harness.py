"""Drives real programs on a private X server with a tray host.

Shared by the benchmarks and the end-to-end resilience tests: a private
Xvfb + trayer, private HOME/XDG directories, process figures from /proc,
the simulator's state file, and an inotify counter for its writes.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time

PAGE = os.sysconf("SC_PAGE_SIZE")
TICKS = os.sysconf("SC_CLK_TCK")
BUNDLE_ID = "com.quillmoor.Duskwarden"


# ---------------------------------------------------------------- /proc figures

def cpu_seconds(pid):
    """User + system CPU time of all threads of `pid`."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def wakeups(pid):
    """Voluntary context switches summed over every thread of `pid`."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


# ---------------------------------------------------------------- inotify

class WriteCounter:
    """Counts replacements (rename into place or close after write) of one file."""

    IN_CLOSE_WRITE = 0x008
    IN_MOVED_TO = 0x080
    IN_NONBLOCK = 0o4000

    def __init__(self, directory, name):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        os.makedirs(directory, exist_ok=True)
        if libc.inotify_add_watch(self.fd, os.fsencode(directory), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")
        self.name = name
        self.count = 0

    def poll(self):
        """Reads pending events; returns the running count."""
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.count
            offset = 0
            while offset < len(data):
                _wd, mask, _cookie, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16: offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                if name == self.name and mask & (self.IN_MOVED_TO | self.IN_CLOSE_WRITE):
                    self.count += 1

    def close(self):
        os.close(self.fd)


# ---------------------------------------------------------------- the session

def find_build_dir(source_dir):
    for env in ("DW_BUILD_DIR",):
        if os.environ.get(env):
            return os.environ[env]
    return os.path.join(source_dir, "build")


class Session:
    """A private X display with a tray host and private user directories."""

    def __init__(self, build_dir, width=1280, height=800, tray=True):
        self.build_dir = build_dir
        self.root = tempfile.mkdtemp(prefix="dw-session-")
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.root, "config")
        self.runtime = os.path.join(self.root, "run")
        for d in (self.home, self.config, self.runtime):
            os.makedirs(d, mode=0o700)
        self.procs = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24", "-noreset", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ)
        for key in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "GSETTINGS_BACKEND"):
            self.env.pop(key, None)
        self.env.update(DISPLAY=self.display, HOME=self.home, XDG_CONFIG_HOME=self.config,
                        XDG_RUNTIME_DIR=self.runtime, XDG_CURRENT_DESKTOP="", QT_QPA_PLATFORM="xcb")
        self.trayer = None
        if tray:
            self.trayer = subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                 "--SetDockType", "true"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        # Xvfb's first ramp is uninitialised memory: start from neutral.
        self.run(["xrandr", "--output", "screen", "--gamma", "1:1:1"], check=False)

    # -- paths
    @property
    def duskwarden(self):
        return os.path.join(self.build_dir, "bin", "duskwarden")

    @property
    def sim_tool(self):
        return os.path.join(self.build_dir, "bin", "duskwarden-nightlight-sim")

    @property
    def defaults_file(self):
        return os.path.join(self.config, BUNDLE_ID, "defaults.conf")

    @property
    def sim_dir(self):
        return os.path.join(self.runtime, "duskwarden")

    @property
    def autostart_dir(self):
        return os.path.join(self.config, "autostart")

    def write_defaults(self, auto_enable):
        os.makedirs(os.path.dirname(self.defaults_file), mode=0o700, exist_ok=True)
        with open(self.defaults_file, "w") as f:
            f.write(f"[Defaults]\nautoEnable={'true' if auto_enable else 'false'}\n")

    # -- processes
    def run(self, argv, check=True, env=None, **kw):
        return subprocess.run(argv, env=env or self.env, check=check, capture_output=True, text=True, **kw)

    def spawn(self, argv, log_path=None, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        err = open(log_path, "w") if log_path else subprocess.DEVNULL
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=err)
        if log_path:
            err.close()
        self.procs.append(proc)
        return proc

    def stop(self, proc, timeout=5):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc in self.procs:
            self.procs.remove(proc)

    def close(self):
        for proc in list(self.procs):
            self.stop(proc)
        for proc in (self.trayer, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- X
    def visible_windows(self, pid):
        out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], check=False).stdout
        return [int(w) for w in out.split()]

    def geometry(self, window):
        out = self.run(["xdotool", "getwindowgeometry", "--shell", str(window)]).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def wait_for_icon(self, pid, timeout=10.0, interval=0.005):
        """Waits until `pid` maps a small window (its tray icon); returns it."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for w in self.visible_windows(pid):
                x, y, width, height = self.geometry(w)
                if width <= 64 and height <= 64:
                    return w, (x + width // 2, y + height // 2)
            time.sleep(interval)
        tray = "running" if self.trayer and self.trayer.poll() is None else "gone"
        raise TimeoutError(f"no tray icon from pid {pid} within {timeout} s (tray host {tray})")

    def popover(self, pid):
        """The largest visible window of `pid`, or None."""
        best = None
        for w in self.visible_windows(pid):
            g = self.geometry(w)
            if g[2] > 64 and (best is None or g[2] * g[3] > best[1][2] * best[1][3]):
                best = (w, g)
        return best

    def xdotool(self, *args):
        return self.run(["xdotool", *map(str, args)])

    def gamma(self):
        """xrandr's summary of the first output's ramp, e.g. (1.0, 1.0, 1.0)."""
        out = self.run(["xrandr", "--verbose"], check=False).stdout
        m = re.search(r"Gamma:\s+([\d.]+):([\d.]+):([\d.]+)", out)
        return tuple(float(v) for v in m.groups()) if m else None

    # -- simulator
    def sim(self, *args, check=True):
        return self.run([self.sim_tool, *args], check=check)

    def sim_state(self):
        try:
            with open(os.path.join(self.sim_dir, "nightlight-sim.state")) as f:
                text = f.read()
        except FileNotFoundError:
            return {"enabled": False, "strength": 0.5}
        values = dict(l.split("=", 1) for l in text.split("\n") if "=" in l and not l.startswith("#"))
        return {"enabled": values.get("enabled") == "true", "strength": float(values.get("strength", "0.5"))}

    def wait_for(self, predicate, timeout, interval=0.005):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(interval)
        return predicate()


def read_log(path):
    with open(path, errors="replace") as f:
        return f.read().splitlines()


def percentile(values, p):
    s = sorted(values)
    if not s:
        return float("nan")
    k = (len(s) - 1) * p / 100
    lo, hi = int(k), min(int(k) + 1, len(s) - 1)
    return s[lo] + (s[hi] - s[lo]) * (k - lo)
