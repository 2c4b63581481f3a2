"""Faults the real binary must survive with nothing lost: an autostart
location that cannot be written (Keep Always On is then refused whole), an autostart entry edited by hand, and a
SIGKILL in the middle of a stream of Keep Always On toggles. Each case runs
on a private Xvfb with a tray host and the simulator."""

import os
import random
import signal
import sys
import time
import unittest

from desktop import BUNDLE_ID, XDesktop, error_level, find_build_dir, read_log, trayui
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
ENTRY = BUNDLE_ID + ".desktop"


def read(path):
    with open(path) as f:
        return f.read()


def stored_auto_enable(text):
    """The autoEnable value of a defaults file, or None when it holds none."""
    values = [line.split("=", 1)[1].strip() for line in text.splitlines() if line.startswith("autoEnable=")]
    return {"true": True, "false": False}.get(values[-1]) if len(values) == 1 else None


class Base(unittest.TestCase):
    def setUp(self):
        self.d = XDesktop(BUILD)
        self.addCleanup(self.d.close)
        self.s, self.dw, self.input = self.d.session, self.d.app, self.d.input

    def lines(self, app):
        return read_log(app.log)

    def switch(self, app):
        """Opens the popover and finds the Keep Always On switch in it."""
        rect = trayui.open_popover(self.d, app)
        found = wait_for(lambda: trayui.keep_always_on_switch(self.d, rect), 5, interval=0.1)
        self.assertTrue(found, "no Keep Always On switch in the popover")
        return trayui.keep_always_on_switch(self.d, rect)


class AutostartFaults(Base):
    def test_unwritable_autostart_location_refuses_the_switch_and_says_why(self):
        # A file where the directory should be: no write succeeds, even as root.
        blocker = self.dw.autostart_dir
        with open(blocker, "w") as f:
            f.write("not a directory\n")
        self.dw.write_defaults(False)
        app = trayui.launch(self.d, "autostart-blocked")
        self.input.click_at(*self.switch(app))
        # Saved with the entry or not at all: the switch goes back, and nothing was enabled for it.
        self.assertTrue(wait_for(lambda: error_level(self.lines(app)), 5), "\n".join(self.lines(app)))
        self.assertIsNone(app.poll())
        self.assertFalse(any("Auto-enable toggled: true" in l for l in self.lines(app)), "\n".join(self.lines(app)))
        self.assertFalse(self.dw.sim_state()["enabled"])
        self.assertIs(stored_auto_enable(read(self.dw.defaults_file)), False)
        self.assertEqual(read(blocker), "not a directory\n")
        errors = error_level(self.lines(app))
        self.assertEqual(len(errors), 1, "\n".join(self.lines(app)))
        self.assertIn("Failed to enable launch at login", errors[0])

    def test_hand_edited_entry_starting_something_else_is_left_alone_and_the_refusal_logged(self):
        os.makedirs(self.dw.autostart_dir)
        entry = os.path.join(self.dw.autostart_dir, ENTRY)
        foreign = "[Desktop Entry]\nType=Application\nName=Duskwarden\nExec=/usr/bin/xterm -e top\n"
        with open(entry, "w") as f:
            f.write(foreign)
        self.dw.write_defaults(False)
        app = trayui.launch(self.d, "hand-edited")
        self.assertTrue(wait_for(lambda: "Launch at Login set to: false" in "".join(self.lines(app)), 5))
        # The user's own entry is not ours to unregister: it is left as it was.
        self.assertEqual(read(entry), foreign)

        # Nor to replace: Keep Always On still works, and the log says why there is no start at login.
        self.input.click_at(*self.switch(app))
        self.assertTrue(wait_for(lambda: any("Auto-enable toggled: true. Launch at Login set to: false" in l
                                                    for l in self.lines(app)), 5), "\n".join(self.lines(app)))
        self.assertTrue(wait_for(lambda: self.dw.sim_state()["enabled"], 5), "Keep Always On did not enable")
        self.assertEqual(read(entry), foreign)
        errors = error_level(self.lines(app))
        self.assertEqual(len(errors), 1, "\n".join(self.lines(app)))
        self.assertIn("Failed to enable launch at login: The autostart entry " + entry, errors[0])
        self.assertIn("/usr/bin/xterm -e top", errors[0])


class KilledDuringToggles(Base):
    def test_sigkill_mid_stream_leaves_a_whole_setting_that_the_next_launch_restores(self):
        rng = random.Random(20261207)
        self.dw.write_defaults(False)
        for round_ in range(3):
            app = trayui.launch(self.d, f"toggles{round_}")
            x, y = self.switch(app)
            # A stream of clicks on the switch, spaced past the double-click
            # interval so each one toggles; killed at a random moment inside it.
            clicks = ["mousemove", x, y]
            for i in range(12):
                clicks += ["mousemove", x + (3 if i % 2 else -3), y, "click", 1, "sleep", 0.45]
            stream = self.s.spawn(["xdotool", *clicks])
            time.sleep(rng.uniform(1.0, 4.5))
            app.send_signal(signal.SIGKILL)
            app.wait(5)
            stream.wait(10)

            text = read(self.dw.defaults_file)
            value = stored_auto_enable(text)
            self.assertIsNotNone(value, f"round {round_}: defaults file not whole: {text!r}")
            leftovers = [n for n in os.listdir(os.path.dirname(self.dw.defaults_file)) if n != "defaults.conf"]
            toggles = [l for l in self.lines(app) if "Auto-enable toggled: " in l and "Launch at Login" not in l]
            self.assertGreaterEqual(len(toggles), 2, f"round {round_}: the stream toggled nothing")

            # The next launch starts from the last completed write.
            self.dw.sim("off")
            nxt = trayui.launch(self.d, f"after{round_}")
            want = f"NightShiftManager initialized with autoEnable: {'true' if value else 'false'}"
            self.assertTrue(wait_for(lambda: any(want in l for l in self.lines(nxt)), 5),
                            f"round {round_}: expected '{want}':\n" + "\n".join(self.lines(nxt)))
            if value:
                self.assertTrue(wait_for(lambda: self.dw.sim_state()["enabled"], 5),
                                f"round {round_}: Keep Always On did not turn night light on at launch")
            else:
                time.sleep(1.0)
                self.assertFalse(self.dw.sim_state()["enabled"])
            self.assertEqual(error_level(self.lines(nxt)), [])
            print(f"\nround {round_}: killed after {len(toggles) - 1} toggles; stored {value}; "
                  f"stray files beside the defaults: {leftovers}", file=sys.stderr)
            self.s.stop(nxt)


if __name__ == "__main__":
    unittest.main(verbosity=2)
