"""Keep Always On through the real binary on Cinnamon 6's own night light (the
real csd-color and dconf, private bus, Xvfb): picked over X11 and active at
launch, an outside off (the key, DisabledUntilTomorrow) undone within 1 s,
warmth kept across off and on, the user's schedule back at off."""

import glob
import os
import subprocess
import sys
import time
import unittest

from desktop import XDesktop, error_level, find_build_dir, read_log
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
SCHEMA = "org.cinnamon.settings-daemon.plugins.color"
NAME, PATH = "org.cinnamon.SettingsDaemon.Color", "/org/cinnamon/SettingsDaemon/Color"
DAEMONS = glob.glob("/usr/lib/*/cinnamon-settings-daemon/csd-color")


def unhostable():
    keys = subprocess.run(["gsettings", "list-keys", SCHEMA], capture_output=True, text=True).stdout.split()
    if not DAEMONS or "night-light-schedule-mode" not in keys:
        return "no csd-color with a night light here (cinnamon-settings-daemon 6 has one; Debian 12's 5.6 has none)"
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
        # One call per look, so that a look takes as little of the second measured as it can.
        state = lambda: bus.call(NAME, PATH, "org.freedesktop.DBus.Properties.GetAll", NAME, check=False) or ""  # noqa
        active = lambda: "'NightLightActive': <true>" in state()  # noqa: E731
        on = lambda: (lambda st: "Active': <true>" in st and "Tomorrow': <false>" in st)(state())  # noqa: E731
        self.d.app.write_defaults(True)
        app = self.d.app.launch(self.s.path("cinnamon.log"), None)
        self.assertTrue(wait_for(on, 10, interval=0.05), f"not on at launch; see {app.log}")
        self.assertTrue(self.d.app.wait_for_line(app, "Using the cinnamon backend"), read_log(app.log)[-20:])
        self.assertEqual(self.schedule(), ["'manual'", "0.0", "0.0"])

        for name, turn_off in (
            ("the key", lambda: self.s.run(["gsettings", "set", SCHEMA, "night-light-enabled", "false"])),
            ("disabled until tomorrow", lambda: bus.call(NAME, PATH, "org.freedesktop.DBus.Properties.Set", NAME,
                                                         "DisabledUntilTomorrow", "<true>")),
        ):
            time.sleep(1.3)  # past the 1 s in which the manager ignores an off after its own command
            turn_off()
            started = time.monotonic()
            self.assertTrue(wait_for(lambda: not on(), 5, interval=0.01), f"{name}: the daemon never went off")
            self.assertTrue(wait_for(on, 5, interval=0.01), f"{name}: not turned back on")
            seconds = time.monotonic() - started
            print(f"cinnamon, {name}: active again after {seconds:.2f} s", flush=True)
            self.assertLess(seconds, 1.0, name)
            self.assertEqual(self.key("night-light-enabled"), "true")

        self.cli("--strength", "0.9")
        self.assertEqual(self.key("night-light-temperature"), "uint32 2000")
        self.cli("--keep-always-on", "off")
        self.cli("--disable")
        self.assertEqual(self.schedule(), ["'manual'", "21.5", "7.25"], "the user's schedule is not back")
        self.assertFalse(active())
        self.cli("--enable")
        self.assertTrue(active())
        self.assertEqual(self.key("night-light-temperature"), "uint32 2000")
        log = read_log(app.log)
        self.assertEqual(sum("Night Shift was disabled but auto-enable is active" in line for line in log), 2)
        self.assertEqual(error_level(log), [])


if __name__ == "__main__":
    why = unhostable()
    if why:
        print(f"skipped: {why}", flush=True)
        sys.exit(77)
    unittest.main(verbosity=2)
