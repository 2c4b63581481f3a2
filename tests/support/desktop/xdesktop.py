"""The X11 test desktop most tests use: a private session, Xvfb, an XEmbed
tray host, input, screenshots and the program under test, in one object."""

from wait import wait_for

from . import x11
from .app import Duskwarden
from .bus import Bus, Logind
from .screenshots import Screenshots, artifacts_dir
from .session import PrivateSession
from .tray import Trayer
from .xinput import XInput
from .xserver import Xvfb


class XDesktop:
    """with XDesktop(build_dir) as d: ... — `d.session`, `d.x` (Xvfb), `d.tray`
    (trayer or None), `d.input` (xdotool), `d.shots` (screenshots into
    $DW_TEST_ARTIFACTS/<artifacts>, or `shots_dir`), `d.app` (the build's
    programs), `d.bus` (a private session bus when `session_bus`, else None: the session bus
    address then leads nowhere, so no icon can reach a real desktop's tray),
    `d.logind` (logind mocked on a private system bus when `logind`, else None)."""

    def __init__(self, build_dir, width=1280, height=800, tray=True, tray_options=None, session_bus=False,
                 logind=False, artifacts="e2e", shots_dir=None, background=None):
        self.session = PrivateSession()
        try:
            self.session.env["QT_QPA_PLATFORM"] = "xcb"
            self.x = Xvfb(self.session, width, height, background=background)
            # After the X server: services the bus activates inherit its DISPLAY.
            self.bus = Bus(self.session) if session_bus else None
            self.logind = Logind(Bus(self.session, "system")) if logind else None
            self._tray_options = dict(tray_options or {})
            self.tray = Trayer(self.session, **self._tray_options) if tray else None
            self.x.neutral_gamma()
            self.input = XInput(self.session)
            self.shots = Screenshots(self.session, shots_dir or artifacts_dir(artifacts, build_dir))
            self.app = Duskwarden(self.session, build_dir)
            self._xconn = None
        except BaseException:
            self.session.close()
            raise

    @property
    def env(self):
        return self.session.env

    @property
    def root(self):
        return self.session.root

    @property
    def xconn(self):
        """An in-process Xlib connection for cheap polls (x11.XConnection)."""
        if self._xconn is None:
            self._xconn = x11.XConnection(self.x.display)
        return self._xconn

    def start_tray(self):
        self.tray = Trayer(self.session, **self._tray_options)

    def stop_tray(self):
        if self.tray:
            self.tray.close()
            self.tray = None

    def wait_ungrabbed(self, timeout=5.0, in_child=False):
        """True once no client grabs the pointer, False after `timeout` s
        (see x11.wait_ungrabbed); polled in-process unless `in_child`."""
        if in_child:
            try:
                x11.wait_ungrabbed(self.env, timeout)
                return True
            except TimeoutError:
                return False
        return bool(wait_for(self.xconn.pointer_free, timeout, interval=0.005))

    def ramps(self):
        return x11.read_ramps(self.env)

    def gamma(self):
        return x11.xrandr_gamma(self.session)

    def close(self):
        if self._xconn is not None:
            self._xconn.close()
            self._xconn = None
        self.session.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
