"""The KDE backend against a real KWin (5.27 or 6; kwin_wayland --virtual) on a
private session bus with private XDG directories, driven through
kde_backend_driver: on, strength and off through KWin's D-Bus properties, the
user's kwinrc given back byte for byte, the user's own turn-off reported,
and KWin killed and started again."""

import os
import queue
import signal
import subprocess
import threading
import time
import unittest

import nightcolor as nc
from desktop import Bus, PrivateSession
from desktop.bus import SYSTEM_PYTHON
from desktop.kwin import KWin
from wait import wait_for

DRIVER = os.environ["DW_KDE_DRIVER"]
# The user's own settings and habits around ours: comments, a locked group,
# odd spacing, a localised key, a nested group.
USER_KWINRC = """
# my settings
[NightColor]
Active = false
Active[de]=falsch
Mode=Times
NightTemperature=5200

[NightColor][Extra]
Active=true

[Plugins][$i]
blurEnabled = true
"""


class Driver:
    """The backend in a child process: ask() a command, wait for callbacks."""

    def __init__(self, session):
        self.errors = session.path("driver-stderr.log")  # sanitizer reports land here
        with open(self.errors, "wb") as stderr:
            self.proc = session.spawn([DRIVER], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr)
        self.answers = queue.Queue()
        self.callbacks = 0
        self.logs = []
        threading.Thread(target=self._read, daemon=True).start()
        assert self.answers.get(timeout=10) == "ready"

    def close(self):
        """Ends the driver as the application would: the backend destroyed, its thread joined."""
        self.proc.stdin.close()
        status = self.proc.wait(10)
        self.proc.stdout.close()
        return status

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode().rstrip("\n")
            if line == "callback":
                self.callbacks += 1  # one reader thread: no lock needed for an int
            elif line.startswith("log "):
                self.logs.append(line[4:])
            elif line.startswith("= "):
                self.answers.put(line[2:])

    def ask(self, command):
        self.proc.stdin.write((command + "\n").encode())
        self.proc.stdin.flush()
        return self.answers.get(timeout=10)

    def wait_status(self, status, after_callbacks, timeout=10.0):
        """True once a callback beyond the first `after_callbacks` has come and the status reads `status`."""
        return wait_for(lambda: self.callbacks > after_callbacks and self.ask("status") == status, timeout, interval=0.02)


def start_driver(test, session):
    """A driver that must end cleanly (exit status 0: no sanitizer report) when `test` does."""
    driver = Driver(session)
    test.addCleanup(lambda: test.assertEqual(driver.close(), 0, open(driver.errors).read()[-3000:]))
    return driver


class KdeBackend(unittest.TestCase):
    def setUp(self):
        self.s = PrivateSession("dw-kde")
        self.addCleanup(self.s.close)
        self.bus = Bus(self.s)
        self.kwin = KWin(self.s, self.bus)

    def driver(self):
        return start_driver(self, self.s)

    def test_on_strength_and_off_through_kwin_give_the_users_file_back(self):
        s = self.s
        nc.wait_for_kwins_own_writes(s)
        with open(nc.kwinrc_path(s), "a") as f:
            f.write(USER_KWINRC)
        before = nc.read_kwinrc(s)
        driver = self.driver()
        self.assertEqual(driver.ask("status"), "off")

        seen = driver.callbacks
        driver.ask("on")
        self.assertTrue(wait_for(lambda: nc.warm(self.kwin), 10), nc.properties(self.kwin))
        self.assertEqual(nc.properties(self.kwin)["targetTemperature"], 4700)  # 5200 brought into our span
        self.assertTrue(driver.wait_status("on", seen))
        # Let the ~2 s transition finish: its ~60 temperature steps are not reported.
        self.assertTrue(wait_for(lambda: nc.properties(self.kwin)["currentTemperature"] == 4700, 10))
        self.assertLessEqual(driver.callbacks - seen, 4)

        driver.ask("set 0.75")
        self.assertTrue(wait_for(lambda: nc.properties(self.kwin)["targetTemperature"] == 2450, 10))
        self.assertEqual(driver.ask("strength"), "0.750")

        # The user turns Night Color off in System Settings: reported off.
        seen = driver.callbacks
        nc.user_sets(s, self.bus, "Active", "false")
        self.assertTrue(driver.wait_status("off", seen))
        driver.ask("on")
        self.assertTrue(wait_for(lambda: nc.warm(self.kwin), 10))

        driver.ask("off")
        self.assertTrue(wait_for(lambda: not nc.properties(self.kwin)["enabled"], 10))
        self.assertEqual(driver.ask("status"), "off")
        self.assertEqual(nc.read_kwinrc(s).decode(), before.decode())
        self.assertEqual([line for line in driver.logs if line.startswith("3 ")], [])

    def test_kwin_killed_and_started_again_is_followed(self):
        s = self.s
        driver = self.driver()
        driver.ask("on")
        self.assertTrue(wait_for(lambda: nc.warm(self.kwin), 10))
        seen = driver.callbacks
        os.killpg(self.kwin.proc.pid, signal.SIGKILL)
        self.kwin.proc.wait()
        self.assertTrue(driver.wait_status("unreadable", seen), "KWin's leaving was not reported")
        seen = driver.callbacks
        self.kwin = KWin(s, self.bus)  # reads the kwinrc we left: warm from the start
        self.assertTrue(driver.wait_status("on", seen), "KWin's return was not reported")
        self.assertTrue(any("KWin left the session bus" in line for line in driver.logs), driver.logs)
        self.assertTrue(any("back on the session bus" in line for line in driver.logs), driver.logs)


class Plasma6Object(unittest.TestCase):
    """Plasma 6's object cannot run here; python3-dbusmock stands in for its
    name, path and properties, int32 temperatures as its signals carry them."""

    def test_plasma_6s_object_is_read_and_followed(self):
        s = PrivateSession("dw-kde6")
        self.addCleanup(s.close)
        bus = Bus(s)
        name, path = "org.kde.KWin.NightLight", "/org/kde/KWin/NightLight"
        s.spawn([SYSTEM_PYTHON, "-m", "dbusmock", name, path, name])
        bus.wait_for_name(name)
        mock = lambda method, props: bus.call(name, path, "org.freedesktop.DBus.Mock." + method, name, props)  # noqa
        mock("AddProperties", "{'available': <true>, 'enabled': <false>, 'running': <false>, 'inhibited': <false>,"
                              " 'targetTemperature': <uint32 6500>}")
        driver = start_driver(self, s)
        self.assertEqual(driver.ask("status"), "off")
        seen = driver.callbacks
        mock("UpdateProperties", "{'enabled': <true>, 'running': <true>, 'targetTemperature': <int32 3400>}")
        self.assertTrue(driver.wait_status("on", seen))


if __name__ == "__main__":
    unittest.main(verbosity=2)
