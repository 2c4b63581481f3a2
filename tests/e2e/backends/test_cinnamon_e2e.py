"""Keep Always On through the real binary on Cinnamon 6's own night light: the
real csd-color and dconf on a private session bus and the test's Xvfb. At
launch the cinnamon backend is picked over X11 and night light is active all
day; an outside turn-off (the key, and DisabledUntilTomorrow as the applet
sets it) is undone within a second; the warmth stays across off and on; off
gives the user's schedule back. Skipped where csd-color has no night light.
"""

import glob
import json
import os
import subprocess
import sys
import time
import unittest

from desktop import XDesktop, error_level, find_build_dir, read_log

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
SCHEMA = "org.cinnamon.settings-daemon.plugins.color"
NAME, PATH = "org.cinnamon.SettingsDaemon.Color", "/org/cinnamon/SettingsDaemon/Color"
DAEMONS = glob.glob("/usr/lib/*/cinnamon-settings-daemon/csd-color")
# The manager ignores an off seen within 1.0 s of its own command; wait past it.
OUTSIDE_COMMAND_WINDOW = 1.3
BACK_ON_WITHIN = 1.0


def unhostable():
    if not DAEMONS:
        return "no csd-color here (package cinnamon-settings-daemon 6 or later)"
    keys = subprocess.run(["gsettings", "list-keys", SCHEMA], capture_output=True, text=True).stdout.split()
    if "night-light-schedule-mode" not in keys:
        return f"{DAEMONS[0]} has no night light (Cinnamon before 6); detection's refusal is tested in e2e_backends"
    return None


class Cinnamon6(unittest.TestCase):
    def key(self, name):
        return self.s.run(["gsettings", "get", SCHEMA, name]).stdout.strip()

    def schedule(self):
        return [self.key("night-light-schedule-" + k) for k in ("mode", "from", "to")]

    def cli(self, *args):
        result = self.s.run([self.d.app.binary, *args], check=False, timeout=60)
        self.assertEqual(result.returncode, 0, (args, result.stdout, result.stderr))
        return result.stdout

    def test_keep_always_on_against_the_real_daemon(self):
        self.d = XDesktop(BUILD, tray=False, session_bus=True)
        self.addCleanup(self.d.close)
        self.s, bus = self.d.session, self.d.bus
        for key, value in (("mode", "manual"), ("from", "21.5"), ("to", "7.25")):  # the user's own schedule
            self.s.run(["gsettings", "set", SCHEMA, "night-light-schedule-" + key, value])
        self.s.spawn([DAEMONS[0]], log=self.s.path("csd-color.log"))
        bus.wait_for_name(NAME, 30)
        prop = lambda name: bus.get_property(NAME, PATH, NAME, name) or ""  # noqa: E731
        active = lambda: "true" in prop("NightLightActive")  # noqa: E731
        on = lambda: self.key("night-light-enabled") == "true" and active() and "false" in prop(  # noqa: E731
            "DisabledUntilTomorrow")
        self.d.app.write_defaults(True)
        app = self.d.app.launch(self.s.path("cinnamon.log"), None)
        self.assertTrue(self.s.wait_for(on, 10, interval=0.05), f"not on at launch; see {app.log}")
        self.assertTrue(self.d.app.wait_for_line(app, "Using the cinnamon backend"), read_log(app.log)[-20:])
        self.assertEqual(self.schedule(), ["'manual'", "0.0", "0.0"])

        for name, turn_off in (
            ("the key", lambda: self.s.run(["gsettings", "set", SCHEMA, "night-light-enabled", "false"])),
            ("disabled until tomorrow", lambda: bus.call(NAME, PATH, "org.freedesktop.DBus.Properties.Set", NAME,
                                                         "DisabledUntilTomorrow", "<true>")),
        ):
            time.sleep(OUTSIDE_COMMAND_WINDOW)
            turn_off()
            started = time.monotonic()
            self.assertTrue(self.s.wait_for(on, 5, interval=0.02), f"{name}: not turned back on")
            print(f"cinnamon, {name}: active again after {time.monotonic() - started:.2f} s", flush=True)
            self.assertLess(time.monotonic() - started, BACK_ON_WITHIN, name)

        self.cli("--strength", "0.9")
        self.assertEqual(self.key("night-light-temperature"), "uint32 2000")
        self.cli("--keep-always-on", "off")
        self.cli("--disable")
        self.assertEqual(self.schedule(), ["'manual'", "21.5", "7.25"], "the user's schedule is not back")
        self.assertFalse(active())
        self.cli("--enable")
        self.assertTrue(active())
        self.assertEqual(self.key("night-light-temperature"), "uint32 2000")
        self.assertEqual(json.loads(self.cli("--status", "--json"))["strength"], 0.9)
        log = read_log(app.log)
        self.assertEqual(sum("Night Shift was disabled but auto-enable is active" in line for line in log), 2)
        self.assertEqual(error_level(log), [])


if __name__ == "__main__":
    why = unhostable()
    if why:
        print(f"skipped: {why}", flush=True)
        sys.exit(77)
    unittest.main(verbosity=2)
