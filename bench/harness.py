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


def thread_switches(pid):
    """{tid: voluntary context switches} for every live thread of `pid`."""
    counts = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return counts
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        counts[int(tid)] = int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended meanwhile
    return counts


class WakeupCounter:
    """Voluntary context switches of a whole process over a window.

    /proc/PID/status counts the main thread only, and a plain sum over
    /proc/PID/task drops the switches of threads that exit (the sum can even
    fall). So this keeps one counter per thread id, sampled every `interval`:
    a thread present at the start counts from its first sample, one born later
    counts from zero, and one that exits keeps what its last sample showed.
    The only switches missed are a thread's last ones between its final
    sample and its exit; `exited` says how many threads that could concern.
    """

    def __init__(self, pid, interval=0.25):
        self.pid = pid
        self.interval = interval
        self.first = thread_switches(pid)
        self.last = dict(self.first)
        self.banked = 0  # switches of threads that have exited
        self.exited = 0

    def sample(self):
        now = thread_switches(self.pid)
        for tid in [t for t in self.last if t not in now]:
            self.banked += self.last.pop(tid) - self.first.pop(tid)
            self.exited += 1
        for tid, n in now.items():
            if tid not in self.first:
                self.first[tid] = 0  # born during the window
            elif n < self.last[tid]:
                # The id went to a new thread between samples: bank the old one.
                self.banked += self.last[tid] - self.first[tid]
                self.exited += 1
                self.first[tid] = 0
            self.last[tid] = n
        return self.total()

    def total(self):
        return self.banked + sum(self.last[t] - self.first[t] for t in self.last)


def sample_wakeups(pids, duration, interval=0.25):
    """Samples every pid's WakeupCounter for `duration` s; returns {pid: counter}."""
    counters = {pid: WakeupCounter(pid, interval) for pid in pids}
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        time.sleep(min(interval, max(0.0, deadline - time.monotonic())))
        for c in counters.values():
            c.sample()
    return counters


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


# ---------------------------------------------------------------- X, in-process

class XConnection:
    """A small Xlib connection for cheap polls: is a window mapped, is the
    pointer grabbed. Polling through xdotool costs a process per look."""

    IS_VIEWABLE = 2

    class _Attrs(ctypes.Structure):
        _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                    ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                    ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                    ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                    ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                    ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                    ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                    ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                    ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

    _ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)

    def __init__(self, display):
        x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(self._Attrs)]
        x.XGrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint, ctypes.c_int,
                                   ctypes.c_int, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
        x.XUngrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x = x
        # A window that vanished must read as unmapped, not end the process.
        self._handler = self._ERROR_HANDLER(lambda _d, _e: 0)
        x.XSetErrorHandler(self._handler)
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        self.root = x.XDefaultRootWindow(self.dpy)

    def viewable(self, window):
        attrs = self._Attrs()
        if not self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attrs)):
            return False
        return attrs.map_state == self.IS_VIEWABLE

    def mapped_popups(self, min_width=65):
        """Viewable top-level windows at least `min_width` wide: {id: (x, y, w, h)}."""
        x = self.x
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XFree.argtypes = [ctypes.c_void_p]
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not x.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent), ctypes.byref(children),
                            ctypes.byref(n)):
            return {}
        ids = [children[i] for i in range(n.value)]
        if children:
            x.XFree(children)
        found = {}
        for w in ids:
            attrs = self._Attrs()
            if x.XGetWindowAttributes(self.dpy, w, ctypes.byref(attrs)) and attrs.map_state == self.IS_VIEWABLE \
                    and attrs.width >= min_width and attrs.override_redirect:
                found[w] = (attrs.x, attrs.y, attrs.width, attrs.height)
        return found

    def pointer_free(self):
        """True when no client holds a pointer grab (ours is taken and given back)."""
        if self.x.XGrabPointer(self.dpy, self.root, 0, 0, 1, 1, 0, 0, 0) != 0:
            return False
        self.x.XUngrabPointer(self.dpy, 0)
        self.x.XSync(self.dpy, 0)
        return True

    def close(self):
        if self.dpy:
            self.x.XCloseDisplay(self.dpy)
            self.dpy = None


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
        # The runtime directory is a tmpfs on a real session (/run/user/UID);
        # on a disk, every replace of the simulator's file waits for a flush.
        self.runtime_root = tempfile.mkdtemp(prefix="dw-run-", dir="/dev/shm") if os.path.isdir("/dev/shm") else None
        self.runtime = os.path.join(self.runtime_root or self.root, "run")
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
        for key in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "GSETTINGS_BACKEND", "DUSKWARDEN_NIGHTLIGHT_BACKEND"):
            self.env.pop(key, None)
        # A bus address that leads nowhere: without one, libdbus may autolaunch
        # a session bus through X that outlives the session, and an icon could
        # land in the real desktop's tray.
        self.env.update(DISPLAY=self.display, HOME=self.home, XDG_CONFIG_HOME=self.config,
                        XDG_RUNTIME_DIR=self.runtime, XDG_CURRENT_DESKTOP="", QT_QPA_PLATFORM="xcb",
                        DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/no-bus")
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

    def run_async(self, argv):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        return proc

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
        if getattr(self, "_xconn", None) is not None:
            self._xconn.close()
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
        if self.runtime_root:
            shutil.rmtree(self.runtime_root, ignore_errors=True)

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

    @property
    def xconn(self):
        if getattr(self, "_xconn", None) is None:
            self._xconn = XConnection(self.display)
        return self._xconn

    def wait_ungrabbed(self, timeout=5.0):
        """A popup that has just closed may hold the pointer grab a moment
        longer; a click sent then is lost. Waits until the grab is released."""
        return self.wait_for(self.xconn.pointer_free, timeout, interval=0.005)

    def click_at(self, x, y, button=1):
        # Arrive from elsewhere, as a hand would: the target sees the pointer enter.
        self.xdotool("mousemove", 640, 700, "mousemove", x, y, "click", button)

    def pixels(self, rect):
        """RGB bytes of the screen rectangle (x, y, w, h)."""
        x, y, w, h = rect
        shot = os.path.join(self.root, "probe.xwd")
        self.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", f"rgb:{shot}"])
        with open(shot, "rb") as f:
            return f.read()

    def keep_always_on_switch(self, popover_rect):
        """Centre of the Keep Always On switch, found by its grey (off) or green (on) track
        in the right-hand strip of the popover's upper half; None if not seen."""
        px, py, pw, ph = popover_rect
        area = (px + pw - 90, py, 90, ph // 2)
        raw = self.pixels(area)
        w, h = area[2], area[3]
        grey = lambda r, g, b: abs(r - g) < 8 and abs(g - b) < 8 and 130 < r < 180  # noqa: E731
        green = lambda r, g, b: g > 110 and g > r + 60 and g > b + 50  # noqa: E731
        for match in (grey, green):
            rows = []
            for yy in range(h):
                best, start = (0, 0, 0), None
                for xx in range(w):
                    i = (yy * w + xx) * 3
                    if i + 2 < len(raw) and match(raw[i], raw[i + 1], raw[i + 2]):
                        start = xx if start is None else start
                        if xx - start + 1 > best[0]:
                            best = (xx - start + 1, start, xx)
                    else:
                        start = None
                if best[0] >= 6:
                    rows.append((yy, best[1], best[2]))
            if rows:
                cy = (rows[0][0] + rows[-1][0]) // 2
                cx = (min(r[1] for r in rows) + max(r[2] for r in rows)) // 2
                return area[0] + cx, area[1] + cy
        return None

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


# ---------------------------------------------------------------- the app's log

STATUS_PREFIX = "Status update - enabled: "


def status_updates(lines):
    """[(enabled, strength)] from the manager's "Status update" lines, in order."""
    found = []
    for line in lines:
        at = line.find(STATUS_PREFIX)
        if at < 0:
            continue
        enabled, _, strength = line[at + len(STATUS_PREFIX):].partition(", strength: ")
        found.append((enabled == "true", float(strength)))
    return found


def error_level(lines):
    """Lines the stderr log sink wrote at error level."""
    return [line for line in lines if "] error: " in line]


def build_flood_tool(dest_dir):
    """Compiles sim_flood.c into `dest_dir`; returns its path."""
    out = os.path.join(dest_dir, "sim_flood")
    subprocess.run(["cc", "-O2", "-o", out, os.path.join(os.path.dirname(os.path.abspath(__file__)), "sim_flood.c")],
                   check=True)
    return out


def launch_app(session, name, backend="sim", timeout=10.0):
    """Starts the app with its stderr in <root>/<name>.log, waits for its tray
    icon and returns the process with .log and .icon (its centre) set."""
    log = os.path.join(session.root, f"{name}.log")
    proc = session.spawn([session.duskwarden], log, {"DUSKWARDEN_NIGHTLIGHT_BACKEND": backend})
    proc.log = log
    proc.icon = session.wait_for_icon(proc.pid, timeout=timeout)[1]
    return proc


def open_popover(session, proc, timeout=5.0):
    """Clicks the icon until the popover is up; returns (window, (x, y, w, h))."""
    x, y = proc.icon
    for offset in (4, -4, 0):
        # A second press at the same spot within the double-click interval
        # is a double click, which the tray icon does not answer: shift it.
        session.xdotool("mousemove", x + offset, y, "click", 1)
        if session.wait_for(lambda: session.popover(proc.pid) is not None, timeout):
            return session.popover(proc.pid)
        time.sleep(0.45)
    raise TimeoutError("the popover did not open")


def close_popover(session, proc, window, timeout=5.0):
    session.xdotool("key", "Escape")
    if not session.wait_for(lambda: not session.xconn.viewable(window), timeout):
        raise TimeoutError("the popover did not close on Escape")
    session.wait_ungrabbed()
