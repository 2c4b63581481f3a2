"""Starts each desktop the fixture offers, prints what it found and how long
it took to start, and checks that closing left no process behind.

    PYTHONPATH=tests/support python3 -m desktop [x11 logind gnome xfce lxqt mate sway kwin ...]

No names: all of them. Exit status 0 when every check held."""

import os
import socket
import sys
import time

from wait import wait_for

from . import x11
from .bus import Bus, Logind
from .gnome import GnomeShell, WATCHER
from .kwin import KWin
from .lxqt import LxqtPanel
from .mate import MatePanel
from .procs import groups_alive
from . import sni
from .session import PrivateSession
from .sway import Sway
from .tray import Trayer
from .xfce import XfcePanel
from .xserver import Xvfb


class Check:
    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, condition, what):
        print(f"  {'ok  ' if condition else 'FAIL'} {what}", flush=True)
        if not condition:
            self.failures.append(what)

    def info(self, what):
        print(f"       {what}", flush=True)




def _connects(path):
    with socket.socket(socket.AF_UNIX) as sock:
        try:
            sock.connect(path)
            return True
        except OSError:
            return False


def _timed(check, what, start):
    seconds = time.monotonic() - start
    check.info(f"{what} started in {seconds:.2f} s")
    return seconds


def check_x11(c, s):
    t = time.monotonic()
    x = Xvfb(s)
    tray = Trayer(s)
    _timed(c, "Xvfb + trayer", t)
    conn = x11.XConnection(x.display)
    c.expect(conn.selection_owner("_NET_SYSTEM_TRAY_S0") != 0, f"trayer owns the XEmbed tray selection on {x.display}")
    conn.close()
    # xrandr's --gamma sets exponents: entry k of n is (k/(n-1))^(1/g).
    s.run(["xrandr", "--output", "screen", "--gamma", "1:0.8:0.5"])
    ramp = x11.read_ramps(s.env)[0]
    n, k = len(ramp["red"]), len(ramp["red"]) // 2
    got = [ramp[ch][k] / 65535 for ch in ("red", "green", "blue")]
    want = [(k / (n - 1)) ** (1 / g) for g in (1, 0.8, 0.5)]
    c.info(f"{n}-entry ramps; entry {k} after xrandr --gamma 1:0.8:0.5: " + " ".join(f"{v:.3f}" for v in got))
    c.expect(all(abs(a - b) < 0.01 for a, b in zip(got, want)), "gamma ramps read back (in a child process)")
    c.expect(tray.panel_mapped(), "trayer's panel is mapped")


def check_logind(c, s):
    t = time.monotonic()
    logind = Logind(Bus(s, "system"))
    _timed(c, "system bus + logind mock", t)
    path = logind.add_session("c1", active=True)
    c.info(f"session {path}")
    monitor = s.spawn(["gdbus", "monitor", "--system", "--dest", Logind.NAME], log=s.path("monitor.log"))
    seen = lambda: open(s.path("monitor.log")).read()  # noqa: E731
    # It has subscribed once it has looked up the name's owner.
    c.expect(wait_for(lambda: "is owned by" in seen(), 5), "gdbus monitor is listening")
    logind.prepare_for_sleep(False)
    logind.set_active(path, False)
    c.expect(wait_for(lambda: "PrepareForSleep (false," in seen(), 5), "PrepareForSleep(false) on the system bus")
    c.expect(wait_for(lambda: "'Active': <false>" in seen(), 5), "the session's Active change as PropertiesChanged")
    s.stop(monitor)


def check_gnome(c, s):
    t = time.monotonic()
    Logind(Bus(s, "system"))
    bus = Bus(s)
    shell = GnomeShell(s, bus)
    _timed(c, f"GNOME Shell {shell.version()} (with its buses)", t)
    c.info(f"Wayland socket {shell.wayland_display}")
    time.sleep(1.0)  # a watcher that came late would show by now
    c.expect(not bus.has_owner(WATCHER), "stock shell: no StatusNotifierWatcher")
    t = time.monotonic()
    shell.enable_appindicator()
    c.info(f"AppIndicator extension enabled in {time.monotonic() - t:.2f} s")
    c.expect(bus.has_owner(WATCHER), "with the AppIndicator extension: StatusNotifierWatcher on the session bus")
    host = bus.get_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "IsStatusNotifierHostRegistered")
    c.expect(host == "(<true>,)", "and a host registered")


def check_xfce(c, s):
    t = time.monotonic()
    bus = Bus(s)
    Xvfb(s)
    panel = XfcePanel(s, bus)
    _timed(c, "Xvfb + xfce4-panel", t)
    c.info(f"names on the bus: {', '.join(bus.names())}")
    c.expect(bus.has_owner(WATCHER) and sni.host_registered(bus), "StatusNotifierWatcher with a host")
    c.expect(panel.xembed_tray_owner() != 0, "the panel owns the XEmbed tray selection")


def check_panel(kind):
    def check(c, s):
        t = time.monotonic()
        bus = Bus(s)
        Xvfb(s)
        kind(s, bus)
        _timed(c, f"Xvfb + {kind.__name__}", t)
        c.expect(bus.has_owner(WATCHER) and sni.host_registered(bus), "StatusNotifierWatcher with a host")
    return check


def check_sway(c, s):
    t = time.monotonic()
    bus = Bus(s, any_user=True)
    sway = Sway(s, bar=True, bus=bus, xwayland=True)
    _timed(c, "sway (swaybar, Xwayland)", t)
    version = sway.msg("-t", "get_version")["human_readable"]
    c.info(f"sway {version} as uid {sway.uid}; WAYLAND_DISPLAY={s.env['WAYLAND_DISPLAY']} DISPLAY={s.env['DISPLAY']}")
    c.expect(_connects(os.path.join(s.runtime, s.env["WAYLAND_DISPLAY"])),
             "this process connects to sway's Wayland socket (it belongs to another user)")
    name = sway.create_output()
    c.expect(name in sway.outputs(), f"create_output added {name}")
    c.expect(wait_for(lambda: bus.has_owner(WATCHER), 10), "swaybar's StatusNotifierWatcher on the bus")
    xr = s.run(["xrandr", "--verbose"], check=False).stdout
    c.expect("XWAYLAND" in xr and "Gamma:" in xr, "Xwayland answers RandR, with gamma")


def check_kwin(c, s):
    t = time.monotonic()
    bus = Bus(s)
    kwin = KWin(s, bus, xwayland=True)
    _timed(c, "kwin_wayland --virtual (Xwayland)", t)
    c.info(f"Night Color: {kwin.night_color()}")
    name, path, _ = kwin.object
    c.expect(kwin.night_color_available(), f"{name} {path} is available")
    c.expect(s.run(["xdpyinfo"], check=False).returncode == 0, f"Xwayland on {s.env['DISPLAY']} admits us")


CHECKS = {"x11": check_x11, "logind": check_logind, "gnome": check_gnome, "xfce": check_xfce,
          "lxqt": check_panel(LxqtPanel), "mate": check_panel(MatePanel), "sway": check_sway, "kwin": check_kwin}


def run(name):
    c = Check(name)
    print(f"{name}:", flush=True)
    pgids, dirs = set(), []
    try:
        with PrivateSession(prefix=f"dw-smoke-{name}") as s:
            dirs = [s.root, s.runtime]
            try:
                CHECKS[name](c, s)
            finally:
                pgids = {p.pid for p in s.procs}
    except Exception as e:  # noqa: BLE001 - a check that cannot start is reported, the next one still runs
        c.expect(False, f"{type(e).__name__}: {e}")
    left = groups_alive(pgids)
    c.expect(not left, "nothing left running after close" + (f" (left: {left})" if left else ""))
    c.expect(not any(os.path.exists(d) for d in dirs), "private directories removed")
    return c


def main(argv):
    names = argv or list(CHECKS)
    unknown = [n for n in names if n not in CHECKS]
    if unknown:
        print(f"unknown desktop(s) {unknown}; choose from {', '.join(CHECKS)}", file=sys.stderr)
        return 2
    failed = [c.name for c in map(run, names) if c.failures]
    print("all checks held" if not failed else f"FAILED: {', '.join(failed)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
