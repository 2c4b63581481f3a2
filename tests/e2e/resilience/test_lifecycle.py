"""How the real binary starts and ends in an unfriendly session: signals and a
lost X server must not leave its lock and socket behind, no session bus must
not leave a bus daemon behind, a relative XDG_RUNTIME_DIR must not litter the
current directory, and a flood of idle connections under the usual
descriptor limit must not shut out a second launch. Each case runs on a
private Xvfb with a tray host and the simulator."""

import os
import resource
import signal
import socket
import sys
import tempfile
import time
import unittest

from desktop import BUNDLE_ID, XDesktop, find_build_dir, read_log, trayui
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)


class Base(unittest.TestCase):
    def setUp(self):
        self.d = XDesktop(BUILD)
        self.addCleanup(self.d.close)
        self.s, self.dw = self.d.session, self.d.app

    def instance_files(self, runtime=None):
        base = os.path.join(runtime or self.s.runtime, BUNDLE_ID)
        return [base + ".lock", base + ".socket"]

    def launch(self, name, env=None, cwd=None, limit=None):
        """Starts the app with `env` (default: the session's, simulator backend);
        waits for its tray icon."""
        env = dict(env or self.s.env)
        env["DUSKWARDEN_NIGHTLIGHT_BACKEND"] = "sim"
        argv = [self.dw.binary]
        if limit:
            argv = ["prlimit", f"--nofile={limit}:{limit}", "--", *argv]
        proc = self.s.spawn(argv, log=self.s.path(name + ".log"), env=env, cwd=cwd)
        proc.icon = trayui.wait_for_icon(self.d, proc.pid).centre
        return proc

    def assert_gone(self, paths, proc):
        self.assertEqual([p for p in paths if os.path.exists(p)], [], "\n".join(read_log(proc.log)))


class Ending(Base):
    def test_termination_signals_quit_with_status_0_and_remove_lock_and_socket(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            app = self.launch(f"signal-{sig}")
            files = self.instance_files()
            self.assertTrue(all(os.path.exists(p) for p in files), files)
            app.send_signal(sig)
            self.assertEqual(app.wait(10), 0, f"{sig!r}: " + "\n".join(read_log(app.log)))
            self.assert_gone(files, app)

    def test_a_lost_x_server_still_removes_lock_and_socket(self):
        app = self.launch("lost-x")
        files = self.instance_files()
        self.d.x.proc.kill()
        app.wait(10)  # Qt ends the process with exit(1) when its display goes
        self.assert_gone(files, app)


def bus_processes(marker):
    """Live dbus-launch / dbus-daemon processes whose environment holds `marker`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as f:
                name = f.read().strip()
            if name not in ("dbus-launch", "dbus-daemon"):
                continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if marker.encode() in f.read():
                    found.append(f"{pid} {name}")
        except OSError:
            pass  # gone meanwhile, or a zombie
    return found


class Environment(Base):
    def test_no_session_bus_starts_none_and_leaves_none_behind(self):
        env = dict(self.s.env)
        env.pop("DBUS_SESSION_BUS_ADDRESS")
        self.assertFalse(os.path.exists(os.path.join(self.s.runtime, "bus")))
        app = self.launch("no-bus", env)
        trayui.open_popover(self.d, app)  # the popover and the tray both look for D-Bus services
        time.sleep(1.0)
        during = bus_processes("HOME=" + self.s.home)
        self.s.stop(app)
        time.sleep(0.5)
        self.assertEqual(during, [], "a bus was started for us")
        self.assertEqual(bus_processes("HOME=" + self.s.home), [])
        self.assertEqual(app.returncode, 0)

    def test_a_relative_runtime_directory_counts_as_unset(self):
        cwd = tempfile.mkdtemp(dir=self.s.root)
        private_tmp = tempfile.mkdtemp(dir=self.s.root)
        env = dict(self.s.env, XDG_RUNTIME_DIR="rel-runtime", TMPDIR=private_tmp)
        app = self.launch("relative-runtime", env, cwd=cwd)
        fallback = os.path.join(private_tmp, f"runtime-{os.getuid()}")
        files = self.instance_files(fallback)
        self.assertTrue(all(os.path.exists(p) for p in files), os.listdir(private_tmp))
        self.assertEqual(os.stat(fallback).st_mode & 0o777, 0o700)
        self.s.stop(app)
        self.assertEqual(app.returncode, 0)
        self.assertEqual(os.listdir(cwd), [], "something was made in the current directory")
        self.assert_gone(files, app)


class SingleInstance(Base):
    def test_1100_idle_connections_under_ulimit_1024_do_not_shut_out_a_second_launch(self):
        app = self.launch("flooded", limit=1024)
        path = self.instance_files()[1]
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))
        idle = []

        def connected_all():
            while len(idle) < 1100:
                c = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                c.setblocking(False)
                try:
                    c.connect(path)
                    idle.append(c)
                except BlockingIOError:  # the backlog is full until the app accepts
                    c.close()
                    return False
            return True
        try:
            wait_for(connected_all, 60, interval=0.001)
            self.assertEqual(len(idle), 1100)
            held = len(os.listdir(f"/proc/{app.pid}/fd"))
            second = self.s.run([self.dw.binary], check=False, timeout=30,
                                env=dict(self.s.env, DUSKWARDEN_NIGHTLIGHT_BACKEND="sim"))
            self.assertEqual(second.returncode, 0, second.stderr)
            self.assertIn("already running", second.stdout)
            self.assertTrue(wait_for(lambda: trayui.popover(self.d, app.pid) is not None, 10),
                            "the first copy's popover did not open")
        finally:
            for c in idle:
                c.close()
        self.assertIsNone(app.poll())
        self.assertLess(held, 200, "the running copy held on to the idle connections")
        print(f"\nthe running copy had {held} descriptors open among 1100 idle connections", file=sys.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
