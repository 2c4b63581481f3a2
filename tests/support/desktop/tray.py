"""An XEmbed tray host on the private X server: Debian's trayer."""

import subprocess

from wait import wait_for

from .x11 import XConnection


class Trayer:
    """trayer docked at the top right, as wide as its icons ask. Qt's
    QSystemTrayIcon embeds there (XEmbed) when no StatusNotifierWatcher exists."""

    def __init__(self, session, height=24, tint=None, expand=False, wait=True):
        self.session = session
        argv = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", str(height),
                "--SetDockType", "true"]
        if tint is not None:
            argv += ["--transparent", "false", "--tint", tint]
        if expand:
            argv += ["--expand", "true"]
        self.proc = session.spawn(argv, log=session.path("trayer.log"))
        # Ready when clients can embed (it owns the tray selection) and its panel shows.
        if wait and not wait_for(lambda: self.owns_selection() and self.panel_mapped(), 15, interval=0.02):
            raise RuntimeError(f"trayer's panel did not appear (running: {self.running()})")

    def owns_selection(self):
        conn = XConnection(self.session.env["DISPLAY"])
        try:
            return conn.selection_owner("_NET_SYSTEM_TRAY_S0") != 0
        finally:
            conn.close()

    def panel_mapped(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                             env=self.session.env, capture_output=True, text=True, timeout=20)
        return bool(out.stdout.strip())

    def running(self):
        return self.proc.poll() is None

    def close(self):
        self.session.stop(self.proc)
