"""The one Xlib/Xrandr binding of the test tools (ctypes).

In-process, `XConnection` answers cheap polls (is a window mapped, which
popups are up, the stacking order, is the pointer free) where a process per look would cost too
much. Reading gamma ramps and waiting out a pointer grab also run as a child
(`python3 -m desktop.x11 ramps|ungrabbed DISPLAY`), so a fault inside a C
call cannot take the harness and its clean-up down with it.
"""

import ctypes
import ctypes.util
import json
import os
import re
import subprocess
import sys

from wait import wait_for

_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_IO_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)
_IO_ERROR_EXIT_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p)
# Xlib's default for a lost server connection is exit(1), which would skip the
# harness's clean-up. This one returns, and the connection's exit handler
# (libX11 >= 1.7) marks it lost instead; its next use raises.
_io_error_handler = _IO_ERROR_HANDLER(lambda _d: 0)


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


class _Resources(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("configTimestamp", ctypes.c_ulong), ("ncrtc", ctypes.c_int),
                ("crtcs", ctypes.POINTER(ctypes.c_ulong)), ("noutput", ctypes.c_int), ("outputs", ctypes.c_void_p),
                ("nmode", ctypes.c_int), ("modes", ctypes.c_void_p)]


class _Gamma(ctypes.Structure):
    _fields_ = [("size", ctypes.c_int), ("red", ctypes.POINTER(ctypes.c_ushort)),
                ("green", ctypes.POINTER(ctypes.c_ushort)), ("blue", ctypes.POINTER(ctypes.c_ushort))]


def _libx11():
    x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    c = ctypes
    x.XOpenDisplay.restype = c.c_void_p
    x.XOpenDisplay.argtypes = [c.c_char_p]
    x.XDefaultRootWindow.restype = c.c_ulong
    x.XDefaultRootWindow.argtypes = [c.c_void_p]
    x.XGetWindowAttributes.argtypes = [c.c_void_p, c.c_ulong, c.POINTER(_Attrs)]
    x.XQueryTree.argtypes = [c.c_void_p, c.c_ulong, c.POINTER(c.c_ulong), c.POINTER(c.c_ulong),
                             c.POINTER(c.POINTER(c.c_ulong)), c.POINTER(c.c_uint)]
    x.XGrabPointer.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_uint, c.c_int, c.c_int, c.c_ulong, c.c_ulong,
                               c.c_ulong]
    x.XUngrabPointer.argtypes = [c.c_void_p, c.c_ulong]
    x.XSync.argtypes = [c.c_void_p, c.c_int]
    x.XFree.argtypes = [c.c_void_p]
    x.XCloseDisplay.argtypes = [c.c_void_p]
    x.XInternAtom.restype = c.c_ulong
    x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
    x.XGetSelectionOwner.restype = c.c_ulong
    x.XGetSelectionOwner.argtypes = [c.c_void_p, c.c_ulong]
    x.XSetIOErrorExitHandler.argtypes = [c.c_void_p, _IO_ERROR_EXIT_HANDLER, c.c_void_p]
    return x


def _libxrandr():
    xr = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xrandr"))
    c = ctypes
    xr.XRRGetScreenResourcesCurrent.restype = c.POINTER(_Resources)
    xr.XRRGetScreenResourcesCurrent.argtypes = [c.c_void_p, c.c_ulong]
    xr.XRRFreeScreenResources.argtypes = [c.POINTER(_Resources)]
    xr.XRRGetCrtcGammaSize.argtypes = [c.c_void_p, c.c_ulong]
    xr.XRRGetCrtcGamma.restype = c.POINTER(_Gamma)
    xr.XRRGetCrtcGamma.argtypes = [c.c_void_p, c.c_ulong]
    xr.XRRFreeGamma.argtypes = [c.POINTER(_Gamma)]
    return xr


class XConnection:
    """A small Xlib connection to `display` for cheap, frequent looks."""

    IS_VIEWABLE = 2

    def __init__(self, display):
        self.x = _libx11()
        # A window that vanished must read as unmapped, not end the process.
        self._handler = _ERROR_HANDLER(lambda _d, _e: 0)
        self.x.XSetErrorHandler(self._handler)
        self.x.XSetIOErrorHandler(_io_error_handler)
        self.display = display
        self.lost = False
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        self._exit_handler = _IO_ERROR_EXIT_HANDLER(lambda _d, _u: setattr(self, "lost", True))
        self.x.XSetIOErrorExitHandler(self.dpy, self._exit_handler, None)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def _checked(self, value):
        if self.lost:
            raise RuntimeError(f"lost the connection to the X server {self.display}")
        return value

    def viewable(self, window):
        attrs = _Attrs()
        if not self._checked(self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attrs))):
            return False
        return attrs.map_state == self.IS_VIEWABLE

    def mapped_popups(self, min_width=65):
        """Viewable override-redirect top-level windows at least `min_width`
        wide (popups and menus): {id: (x, y, w, h)}."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self._checked(self.x.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent),
                                               ctypes.byref(children), ctypes.byref(n))):
            return {}
        ids = [children[i] for i in range(n.value)]
        if children:
            self.x.XFree(children)
        found = {}
        for w in ids:
            attrs = _Attrs()
            if self.x.XGetWindowAttributes(self.dpy, w, ctypes.byref(attrs)) and \
                    attrs.map_state == self.IS_VIEWABLE and attrs.width >= min_width and attrs.override_redirect:
                found[w] = (attrs.x, attrs.y, attrs.width, attrs.height)
        return found

    def stacking(self):
        """Viewable top-level windows (the root's children), bottom to top."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self._checked(self.x.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent),
                                               ctypes.byref(children), ctypes.byref(n))):
            return []
        ids = [children[i] for i in range(n.value)]
        if children:
            self.x.XFree(children)
        return [w for w in ids if self.viewable(w)]

    def pointer_free(self):
        """True when no client holds a pointer grab (ours is taken and given back)."""
        if self._checked(self.x.XGrabPointer(self.dpy, self.root, 0, 0, 1, 1, 0, 0, 0)) != 0:
            return False
        self.x.XUngrabPointer(self.dpy, 0)
        self.x.XSync(self.dpy, 0)
        return self._checked(True)

    def selection_owner(self, name):
        """The window owning selection `name` (e.g. "_NET_SYSTEM_TRAY_S0", an
        XEmbed tray host), 0 when none does."""
        atom = self.x.XInternAtom(self.dpy, name.encode(), 0)
        return self._checked(self.x.XGetSelectionOwner(self.dpy, atom))

    def gamma_ramps(self):
        """[{"crtc", "red", "green", "blue"}] for every CRTC with gamma (ramps as lists of 0..65535)."""
        xr = _libxrandr()
        res = self._checked(xr.XRRGetScreenResourcesCurrent(self.dpy, self.root))
        if not res:
            raise RuntimeError("RandR screen resources unavailable")
        found = []
        for i in range(res.contents.ncrtc):
            crtc = res.contents.crtcs[i]
            if xr.XRRGetCrtcGammaSize(self.dpy, crtc) <= 0:
                continue
            g = xr.XRRGetCrtcGamma(self.dpy, crtc)
            n = g.contents.size
            found.append({"crtc": crtc, "red": g.contents.red[:n], "green": g.contents.green[:n],
                          "blue": g.contents.blue[:n]})
            xr.XRRFreeGamma(g)
        xr.XRRFreeScreenResources(res)
        return found

    def close(self):
        if self.dpy and not self.lost:
            self.x.XCloseDisplay(self.dpy)
        self.dpy = None


# ---------------------------------------------------------------- from the parent

def _child(env, *args, timeout):
    return subprocess.run([sys.executable, "-m", "desktop.x11", *args], env=_child_env(env), capture_output=True,
                          text=True, timeout=timeout)


def _child_env(env):
    env = dict(env)
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    env["PYTHONPATH"] = here + (os.pathsep + env["PYTHONPATH"] if env.get("PYTHONPATH") else "")
    return env


def read_ramps(env, timeout=20):
    """The gamma ramps of $DISPLAY in `env`, read in a child process (see XConnection.gamma_ramps)."""
    out = _child(env, "ramps", env["DISPLAY"], timeout=timeout)
    if out.returncode != 0:
        raise RuntimeError(f"reading the gamma ramps failed: {out.stderr.strip()}")
    return json.loads(out.stdout)


def ramp_tops(ramps):
    """(red, green, blue) at full input of the first ramp, as fractions of full scale."""
    first = ramps[0]
    return tuple(first[c][-1] / 65535 for c in ("red", "green", "blue"))


def wait_ungrabbed(env, timeout=10.0):
    """Waits (in a child) until no client grabs the pointer: a popup that has
    just been unmapped may still hold it, and a click sent then is lost."""
    out = _child(env, "ungrabbed", env["DISPLAY"], str(timeout), timeout=timeout + 10)
    if out.returncode != 0:
        raise TimeoutError(f"the pointer grab was not released: {out.stderr.strip()}")


def xrandr_gamma(session):
    """xrandr's fitted summary of the first output's ramps, e.g. (1.0, 1.0, 1.0), or None."""
    out = session.run(["xrandr", "--verbose"], check=False).stdout
    m = re.search(r"Gamma:\s+([\d.]+):([\d.]+):([\d.]+)", out)
    return tuple(float(v) for v in m.groups()) if m else None


def _main(argv):
    what, display = argv[0], argv[1]
    conn = XConnection(display)
    if what == "ramps":
        print(json.dumps(conn.gamma_ramps()))
        return 0
    if what == "ungrabbed":
        if not wait_for(conn.pointer_free, float(argv[2])):
            print("still grabbed", file=sys.stderr)
            return 1
        return 0
    print(f"unknown request {what!r}", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
