"""Input and windows on the private X server, through xdotool."""

from typing import NamedTuple


class Window(NamedTuple):
    id: int
    x: int
    y: int
    w: int
    h: int

    @property
    def centre(self):
        return self.x + self.w // 2, self.y + self.h // 2


class XInput:
    """Finds windows by process, reads their geometry, moves and clicks the
    pointer and types keys, each through one xdotool run."""

    # Where the pointer comes from before a click, as a hand would: the target sees it enter.
    AWAY = (640, 700)

    def __init__(self, session):
        self.session = session

    def xdotool(self, *args, check=True):
        return self.session.run(["xdotool", *map(str, args)], check=check, timeout=30)

    def window_ids(self, pid):
        """Visible windows of `pid`, as xdotool lists them."""
        out = self.xdotool("search", "--onlyvisible", "--pid", pid, check=False).stdout
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """Window(id, x, y, w, h) on the root, or None once it is gone."""
        out = self.xdotool("getwindowgeometry", "--shell", window, check=False)
        if out.returncode != 0:
            return None
        values = dict(line.split("=", 1) for line in out.stdout.split())
        return Window(int(window), int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"]))

    def windows(self, pid):
        """Visible windows of `pid` with their geometry."""
        return [g for g in map(self.geometry, self.window_ids(pid)) if g is not None]

    def title(self, window):
        return self.xdotool("getwindowname", window, check=False).stdout.strip()

    def move(self, x, y):
        self.xdotool("mousemove", x, y)

    def click_at(self, x, y, button=1, ctrl=False, arrive=True):
        """Clicks `button` at (x, y), coming from AWAY when `arrive`; with
        Control held when `ctrl`."""
        args = ["mousemove", *self.AWAY] if arrive else []
        args += ["mousemove", x, y]
        args += ["keydown", "ctrl", "click", button, "keyup", "ctrl"] if ctrl else ["click", button]
        self.xdotool(*args)

    def key(self, *keys):
        self.xdotool("key", *keys)
