"""The headless demo behind scripts/demo.sh: a private X server with a tray
host, Duskwarden on the X11 gamma backend (or the simulator), driven with
xdotool the way a user would, with screenshots.

Usage: demo.py [OUTPUT_DIR]   (scripts/demo.sh documents the environment)
Exit status 0 when every step worked, 1 when one failed (the output folder
says which), 2 on bad use, 130 when interrupted.
"""

import os
import shutil
import signal
import sys
import time

from desktop import XDesktop, ramp_tops, read_ramps
from wait import wait_for

POLL = 0.1  # the demo needs no finer steps than this

APP_ID = "com.quillmoor.Duskwarden"
TOOLS = ("Xvfb", "trayer", "xdotool", "import", "xrandr")


class StepFailed(Exception):
    pass


def say(message):
    print(f"demo: {message}", flush=True)


def usage_error(message):
    print(f"demo: {message}", file=sys.stderr)
    sys.exit(2)


class Demo:
    def __init__(self, build, backend, out):
        self.build, self.backend, self.out = build, backend, out
        self.steps = []
        self.failed = ""
        self.values = {"gamma-before": "", "gamma-after-enable": "", "ramp-tops-before": "",
                       "ramp-tops-after-enable": ""}
        self.d = self.app = self.icon = None

    # -- steps
    def ok(self, step):
        self.steps.append(f"ok   {step}")
        say(f"ok: {step}")

    def fail(self, step):
        raise StepFailed(step)

    def shot(self, name):
        try:
            self.d.shots.save(name)
        except RuntimeError as e:
            self.fail(f"save {name} ({e})")

    def other_windows(self):
        """The application's visible windows other than the tray icon (popover, menu)."""
        return [w for w in self.d.input.window_ids(self.app.pid) if w != self.icon]

    def click_icon(self, button):
        self.d.input.click_at(*self.d.input.geometry(self.icon).centre, button=button, arrive=False)

    def ramp_tops(self):
        """The top of each gamma ramp as a fraction of full scale, "red green blue":
        xrandr --verbose shows the ramps only as fitted exponents, which do not
        say plainly how much blue is left."""
        return "%.3f %.3f %.3f" % ramp_tops(read_ramps(self.d.env))

    def xrandr_gamma(self):
        out = self.d.session.run(["xrandr", "--verbose"], check=False).stdout
        return next((line.split()[1] for line in out.splitlines() if "Gamma:" in line), "")

    def is_warm(self):
        # Warm: red kept, blue clearly cut (neutral is 1 1 1).
        r, g, b = ramp_tops(read_ramps(self.d.env))
        return r > 0.95 and b < 0.9 and b < g <= r

    # -- the walk-through
    def run(self):
        say("starting a private X server")
        # A bus of its own when dbus-daemon is there; else the bus address leads nowhere.
        self.d = XDesktop(self.build, 1024, 768, session_bus=bool(shutil.which("dbus-daemon")), shots_dir=self.out,
                          tray_options={"height": 32, "tint": "0x2b2f3a", "expand": True})
        self.ok(f"Xvfb on {self.d.x.display}")
        self.ok("tray host (trayer) running")
        if self.backend == "x11":
            try:
                self.values["ramp-tops-before"] = self.ramp_tops()
            except RuntimeError:
                self.fail("read the gamma ramps")
            self.values["gamma-before"] = self.xrandr_gamma()

        say(f"starting {self.d.app.binary} with DUSKWARDEN_NIGHTLIGHT_BACKEND={self.backend}")
        self.app = self.d.app.launch(os.path.join(self.out, "duskwarden.log"), self.backend)
        ids = lambda: self.d.input.window_ids(self.app.pid)  # noqa: E731
        if not wait_for(ids, 20, interval=POLL):
            self.fail(f"show the tray icon (log: {self.out}/duskwarden.log)")
        self.icon = ids()[0]
        time.sleep(0.5)  # let the tray host paint the embedded icon
        self.shot("tray.png")
        self.ok("tray icon shown (tray.png)")

        self.click_icon(1)
        if not wait_for(self.other_windows, 5, interval=POLL):
            self.fail("open the popover with a left click on the icon")
        time.sleep(0.5)
        self.shot("popover.png")
        self.ok("left click opened the popover (popover.png)")

        # The popup keeps the keyboard and opens on the Keep Always On switch:
        # Tab goes on to "Enable Night Shift"; Space presses it.
        for key in ("Tab", "space"):
            self.d.input.key(key)
            time.sleep(0.2 if key != "space" else 0)
        if self.backend == "x11":
            if not wait_for(self.is_warm, 5, interval=POLL):
                self.fail(f"turn Night Shift on: the gamma ramps stayed {self.ramp_tops()}")
            self.values["ramp-tops-after-enable"] = self.ramp_tops()
            self.values["gamma-after-enable"] = self.xrandr_gamma()
        elif not wait_for(self.d.app.sim_enabled, 5, interval=POLL):
            self.fail("turn Night Shift on: the simulator still reports it off")
        # The switch must not have been flipped instead: Keep Always On writes an autostart entry.
        if os.path.exists(self.d.app.autostart_entry):
            self.fail("press Enable Night Shift (Keep Always On was switched instead)")
        time.sleep(0.5)  # let the popover show the new state
        self.shot("enabled.png")
        self.ok("Enable Night Shift turned the night light on (enabled.png)")

        self.d.input.key("Escape")
        if not wait_for(lambda: not self.other_windows(), 5, interval=POLL):
            self.fail("close the popover with Escape")
        self.ok("Escape closed the popover")

        self.click_icon(3)
        if not wait_for(self.other_windows, 5, interval=POLL):
            self.fail("open the menu with a right click on the icon")
        time.sleep(0.5)
        self.shot("menu.png")
        self.ok("right click opened the menu (menu.png)")

        self.d.input.key("Escape")
        if not wait_for(lambda: not self.other_windows(), 5, interval=POLL):
            self.fail("close the menu with Escape")
        self.ok("Escape closed the menu")

        self.click_icon(3)
        if not wait_for(self.other_windows, 5, interval=POLL):
            self.fail("open the menu again")
        time.sleep(0.3)
        # Quit is the last item: Up from no selection wraps to it.
        self.d.input.key("Up")
        time.sleep(0.2)
        self.d.input.key("Return")
        if not wait_for(lambda: self.app.poll() is not None, 10, interval=POLL):
            self.fail("quit from the menu (Duskwarden still runs 10 s later)")
        if self.app.returncode != 0:
            self.fail(f"quit cleanly (exit status {self.app.returncode})")
        self.ok("Quit from the menu ended Duskwarden (exit status 0)")

    def finish(self):
        v = self.values
        with open(os.path.join(self.out, "summary.txt"), "w") as f:
            f.write(f"backend: {self.backend}\n")
            for key in ("gamma-before", "gamma-after-enable", "ramp-tops-before", "ramp-tops-after-enable"):
                f.write(f"{key}: {v[key]}\n")
            f.write(f"result: {'failed: ' + self.failed if self.failed else 'ok'}\n")
        with open(os.path.join(self.out, "steps.txt"), "w") as f:
            f.write("".join(step + "\n" for step in self.steps))
        print(f"\nDuskwarden headless demo ({self.backend} backend)")
        for step in self.steps:
            print(f"  {step}")
        if self.backend == "x11" and v["ramp-tops-after-enable"]:
            print(f"  gamma ramp tops (red green blue) before: {v['ramp-tops-before']}, "
                  f"after enabling: {v['ramp-tops-after-enable']}")
            print(f"  xrandr --verbose Gamma before: {v['gamma-before']}, after: {v['gamma-after-enable']}")
        print(f"Screenshots and the application's log are in: {self.out}")
        for name in sorted(os.listdir(self.out)):
            print(f"    {name}")
        if self.failed:
            print(f"The demo FAILED at: {self.failed}")
            return 1
        print("The demo passed.")
        return 0


def main(argv):
    if len(argv) > 1:
        usage_error("usage: scripts/demo.sh [OUTPUT_DIR]")
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
    build = os.environ.get("DUSKWARDEN_BUILD_DIR") or os.path.join(root, "build")
    backend = os.environ.get("DUSKWARDEN_DEMO_BACKEND") or "x11"
    out = argv[0] if argv else os.path.join(os.getcwd(), "demo-output")
    if backend not in ("x11", "sim"):
        usage_error(f"DUSKWARDEN_DEMO_BACKEND must be x11 or sim, not '{backend}'")
    binary = os.path.join(build, "bin", "duskwarden")
    if not os.access(binary, os.X_OK):
        usage_error(f"{binary} is missing; build first (scripts/build.sh) or set DUSKWARDEN_BUILD_DIR")
    for tool in TOOLS:
        if not shutil.which(tool):
            usage_error(f"'{tool}' is missing; run scripts/setup.sh run")
    try:
        os.makedirs(out, exist_ok=True)
    except OSError:
        usage_error(f"cannot create the output folder {out}")
    out = os.path.abspath(out)
    for name in os.listdir(out):
        if name.endswith(".png") or name in ("summary.txt", "duskwarden.log", "steps.txt"):
            os.remove(os.path.join(out, name))

    demo = Demo(build, backend, out)
    try:
        demo.run()
    except StepFailed as e:
        demo.failed = str(e)
        demo.steps.append(f"FAIL {e}")
        say(f"FAILED: {e}")
    except RuntimeError as e:  # a desktop piece that would not start
        demo.failed = str(e)
        demo.steps.append(f"FAIL {e}")
        say(f"FAILED: {e}")
    finally:
        if demo.d:
            demo.d.close()
    return demo.finish()


if __name__ == "__main__":
    # Ctrl-C or TERM: the private session is still torn down on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
