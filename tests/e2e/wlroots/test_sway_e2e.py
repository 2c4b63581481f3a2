"""The real program on real headless sway 1.7 (wlroots 0.15), with Keep
Always On: the wlroots backend is chosen by detection, binds sway's gamma
manager and outputs, and meets `failed` on every control (headless outputs
have no gamma) without asking in a loop; an output added with
`swaymsg create_output` is asked for at once; sway killed with SIGKILL does
not take the program down, and a new sway at the same socket is joined.

The program's tray lives on a private Xvfb (trayer), so killing sway does not
end its X connection. WAYLAND_DEBUG=client makes libwayland print every
request the backend sends; the test counts them.
"""

import os
import re
import signal
import time
import unittest

from desktop import XDesktop, error_level, find_build_dir, read_log, status_updates, trayui
from desktop.sway import Sway
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
# libwayland 1.22 prints an object as name@id, 1.23 as name#id.
REQUEST = re.compile(r"-> zwlr_gamma_control_manager_v1[@#]\d+\.get_gamma_control\(")
NO_GAMMA = "get_gamma_control on output {} failed at once"
# Keep Always On retries a refused enable after 0.5, 1, 2 and 4 s (then every
# 30 s): with the launch check, 4 requests per output in the first 10 s. A
# backend that asked again on `failed` would send hundreds.
WATCH_SECONDS = 10
MAX_REQUESTS = 6


def requests(lines):
    return sum(1 for line in lines if REQUEST.search(line))


class SwayGammaControl(unittest.TestCase):
    def test_detection_refused_outputs_hotplug_and_a_killed_compositor(self):
        d = XDesktop(BUILD)
        self.addCleanup(d.close)
        s = d.session
        sway = Sway(s)
        d.app.write_defaults(True)
        app = trayui.launch(d, "duskwarden", backend=None, extra_env={"WAYLAND_DEBUG": "client"})
        lines = lambda: read_log(app.log)  # noqa: E731

        self.assertTrue(d.app.wait_for_line(app, "Using the wlroots backend"), f"not detected; see {app.log}")
        first = d.app.wait_for_line(app, NO_GAMMA.format("HEADLESS-1"))
        self.assertTrue(first, f"no `failed` seen for HEADLESS-1; see {app.log}")

        started = time.monotonic()
        time.sleep(WATCH_SECONDS)
        sent = requests(lines())
        print(f"get_gamma_control requests in {WATCH_SECONDS} s: {sent}", flush=True)
        self.assertGreaterEqual(sent, 2, "Keep Always On never asked again")
        self.assertLessEqual(sent, MAX_REQUESTS, "the backend asks in a loop")
        self.assertEqual(sum(NO_GAMMA.format("HEADLESS-1") in line for line in lines()), 1, "logged more than once")
        self.assertNotIn(True, [on for on, _ in status_updates(lines())], "an output without gamma read as on")

        # A new output gets a request at once, with no command from the manager.
        before = requests(lines())
        name = sway.create_output()
        self.assertTrue(d.app.wait_for_line(app, NO_GAMMA.format(name), timeout=5), f"{name} was not asked for")
        self.assertEqual(requests(lines()), before + 1)
        self.assertLess(time.monotonic() - started, 30, "the next Keep Always On retry could have sent it")

        os.kill(sway.proc.pid, signal.SIGKILL)
        sway.proc.wait()
        self.assertTrue(d.app.wait_for_line(app, "wlroots: lost the compositor"), f"the loss went unseen; see {app.log}")
        time.sleep(1.0)
        self.assertIsNone(app.poll(), f"the program ended with sway; see {app.log}")

        os.unlink(os.path.join(s.runtime, s.env["WAYLAND_DISPLAY"]))  # the fixture links it afresh
        Sway(s)
        self.assertTrue(d.app.wait_for_line(app, "connected to the compositor at", timeout=10),
                        f"not reconnected to the new sway; see {app.log}")
        self.assertTrue(wait_for(lambda: sum(NO_GAMMA.format("HEADLESS-1") in line for line in lines()) == 2, 5),
                        "the new sway's output was not asked for")
        # Errors: the backend's own, and Keep Always On's retries of a refused enable.
        unexpected = [line for line in error_level(lines()) if "wlroots:" not in line and "still off" not in line]
        self.assertEqual(unexpected, [])


if __name__ == "__main__":
    unittest.main()
