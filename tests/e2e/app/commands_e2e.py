#!/usr/bin/env python3
"""The command-line commands against the real binary on a private Xvfb with a
tray host (trayer) and the file-backed simulator: each command changes the
simulator as the popover's control would, through the same manager
operation (its log line); --status --json answers at once with what the
running copy last read from the simulator; a bad value is refused with exit status 2 before anyone is
contacted; with no copy running (a stale lock file is none), --status says so
and a command starts one."""

import json
import os
import queue
import re
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from desktop import BUNDLE_ID, XDesktop, find_build_dir, read_log, trayui
from wait import stays, wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)


class Base(unittest.TestCase):
    def setUp(self):
        self.d = XDesktop(BUILD)
        self.addCleanup(self.d.close)
        self.d.env["DUSKWARDEN_NIGHTLIGHT_BACKEND"] = "sim"
        self.s, self.dw = self.d.session, self.d.app
        self.socket_path = os.path.join(self.s.runtime, BUNDLE_ID + ".socket")
        self.lock_path = os.path.join(self.s.runtime, BUNDLE_ID + ".lock")

    def cli(self, *args):
        return self.s.run([self.dw.binary, *args], check=False, timeout=60)

    def status(self):
        result = self.cli("--status", "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def wait_for_status(self, expected):
        """The running copy reads when the simulator reports a change: wait for --status --json to say `expected`."""
        self.assertTrue(wait_for(lambda: self.status() == expected, 10), f"{self.status()} != {expected}")

    def wait_for_sim(self, **expected):
        """Waits until the simulator holds `expected` (its strength is a float, written to 9 digits)."""
        def holds():
            state = self.dw.sim_state()
            return all(abs(state[k] - v) < 1e-6 if k == "strength" else state[k] == v for k, v in expected.items())
        ok = wait_for(holds, 10)
        self.assertTrue(ok, f"simulator {self.dw.sim_state()}, expected {expected}")


class RunningCopy(Base):
    def setUp(self):
        super().setUp()
        self.app = trayui.launch(self.d, "running")

    def count(self, text):
        return sum(text in line for line in read_log(self.app.log))

    def test_each_command_goes_through_the_managers_own_operation(self):
        self.wait_for_status({"enabled": False, "strength": 0.5, "keepAlwaysOn": False, "backend": "sim",
                              "supported": True, "unconfirmed": [], "reason": None})

        result = self.cli("--enable")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.wait_for_sim(enabled=True)
        self.assertEqual(self.count("Enabling Night Shift..."), 1)

        # Once, as at the end of a drag.
        self.assertEqual(self.cli("--strength", ".3").returncode, 0)
        self.wait_for_sim(strength=0.3)
        self.assertEqual(self.count("Setting color temperature strength to: "), 1)
        self.assertEqual(self.count("Setting color temperature strength to: 0.300000"), 1)

        self.assertEqual(self.cli("--keep-always-on", "on").returncode, 0)
        with open(self.dw.defaults_file) as f:
            self.assertIn("autoEnable=true", f.read())
        self.assertTrue(os.path.exists(self.dw.autostart_entry))

        # Refused: the manager's own line, one line on stderr, exit 1, still on.
        refused = self.cli("--disable")
        self.assertEqual(refused.returncode, 1)
        self.assertEqual(len(refused.stderr.splitlines()), 1, refused.stderr)
        self.assertIn("Keep Always On", refused.stderr)
        self.assertEqual(self.count("Manual disable blocked - auto-enable is active"), 1)
        self.assertTrue(stays(lambda: self.dw.sim_state()["enabled"], 1.0))
        self.assertEqual(self.count("Disabling Night Shift..."), 0)

        self.assertEqual(self.cli("--keep-always-on=off").returncode, 0)
        self.assertFalse(os.path.exists(self.dw.autostart_entry))
        self.assertEqual(self.cli("--disable").returncode, 0)
        self.wait_for_sim(enabled=False)
        self.assertEqual(self.count("Disabling Night Shift..."), 1)
        self.assertIsNone(self.app.poll())

    def test_status_matches_the_simulator_after_the_desktop_changed_it(self):
        self.dw.sim("on")
        self.dw.sim("strength", "0.8")
        # Read when the desktop (the simulator) reports the change, and answered at once.
        self.wait_for_status({"enabled": True, "strength": 0.8, "keepAlwaysOn": False, "backend": "sim",
                              "supported": True, "unconfirmed": [], "reason": None})
        line = self.cli("--status")
        self.assertEqual((line.returncode, line.stdout),
                         (0, "Night Shift: on; strength: 0.8; Keep Always On: off; backend: sim\n"))

    def test_bad_values_exit_2_before_contacting_the_running_copy(self):
        before = len(read_log(self.app.log))
        # In the socket's place, a listener that accepts nothing: a connection
        # attempt would wait in its queue (and the command for an answer).
        aside = self.socket_path + ".aside"
        os.rename(self.socket_path, aside)
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            listener.bind(self.socket_path)
            listener.listen(8)
            listener.setblocking(False)
            for args in (["--strength", "nan"], ["--strength", "inf"], ["--strength", "0,5"], ["--strength", "1e400"],
                         ["--strength", ""], ["--strength", "1.5"], ["--strength", "-0.1"], ["--strength"],
                         ["--keep-always-on", "maybe"], ["--enable", "--disable"], ["--json"], ["--enable", "x"]):
                result = self.cli(*args)
                self.assertEqual((result.returncode, result.stdout), (2, ""), f"{args}: {result.stderr}")
                self.assertIn("--help", result.stderr, args)
            self.assertRaises(BlockingIOError, listener.accept)
        finally:
            listener.close()
            os.unlink(self.socket_path)
            os.rename(aside, self.socket_path)
        self.assertEqual(read_log(self.app.log)[before:], [])
        self.assertEqual(self.dw.sim_state(), {"enabled": False, "strength": 0.5})


def follow(test, path=None):
    """`--status --follow --json` whose lines a thread queues; with `path`, a raw follower that never reads."""
    if path:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(path)
        sock.sendall(b"v1 follow status\n")
        test.addCleanup(sock.close)
        return sock
    proc = subprocess.Popen([test.dw.binary, "--status", "--follow", "--json"], env=test.s.env, text=True,
                            stdout=subprocess.PIPE)
    test.addCleanup(proc.kill)
    proc.lines = queue.Queue()
    threading.Thread(target=lambda: [proc.lines.put(json.loads(line)) for line in proc.stdout], daemon=True).start()
    return proc


class Following(Base):
    def test_a_line_per_change_a_stalled_follower_dropped_unwaited_busy_beyond_the_bound_exit_3_on_quit(self):
        app = trayui.launch(self.d, "following")
        follower = follow(self)
        # i3blocks with docs/status-bars.md's block prints the i3bar protocol on its stdout.
        with open(os.path.join(SOURCE, "docs", "status-bars.md")) as f:
            block = re.search(r"## i3blocks.*?```ini\n(.*?)```", f.read(), re.S).group(1)
        with open(self.s.path("i3blocks.conf"), "w") as f:
            f.write(block.replace("command=duskwarden ", f"command={self.dw.binary} "))
        bar = subprocess.Popen(["i3blocks", "-c", self.s.path("i3blocks.conf")], env=self.s.env, text=True,
                               stdout=subprocess.PIPE)
        self.addCleanup(bar.kill)
        for change, enabled in ((None, False), ("on", True), ("off", False)):  # the state at once, then each change
            if change:
                self.dw.sim(change)
            self.assertEqual(follower.lines.get(timeout=5 if change is None else 1)["enabled"], enabled)
            self.assertTrue(wait_for(lambda: f"Night Shift: {change or 'off'}" in bar.stdout.readline(), 5))  # noqa: B023
        self.assertRaises(queue.Empty, follower.lines.get, timeout=1)  # nothing without a change
        # One that never reads fills its buffer while the desktop floods; it is
        # dropped, unwaited for: another client's command is answered meanwhile.
        # How many changes a flood publishes depends on the machine's load, so
        # floods follow each other until the buffer is full (at most ten).
        follow(self, self.socket_path)
        tool, dropped = self.dw.build_flood_tool(), lambda: sum("Dropped a follower" in x for x in read_log(app.log))
        for attempt in range(10):
            flood = subprocess.Popen([tool, self.dw.sim_dir, "3000", "3.0", "0.5"])
            if attempt == 0:
                started = time.monotonic()
                self.assertEqual(self.cli("--enable").returncode, 0)
                self.assertLess(time.monotonic() - started, 3.0, "slower than a request may take")  # 0.12 s here
            flood.wait(30)
            if wait_for(lambda: dropped() > 0, 1):
                break
        self.assertEqual(dropped(), 1)
        self.assertIsNone(follower.poll(), "the follower that reads was dropped")
        # 16 follow at most, apart from the clients: one more is told so.
        [follow(self, self.socket_path) for _ in range(15)]
        self.assertEqual(self.cli("--status", "--follow").returncode, 1)
        self.assertEqual(self.cli("--disable").returncode, 0)
        app.send_signal(signal.SIGTERM)
        self.assertEqual(follower.wait(10), 3)


class NoRunningCopy(Base):
    def test_status_says_so_and_a_command_starts_one_in_the_background(self):
        result = self.cli("--status")
        self.assertEqual((result.returncode, result.stdout), (3, "Duskwarden is not running\n"))
        quiet = self.cli("--status", "--json")
        self.assertEqual((quiet.returncode, quiet.stdout), (3, ""))
        self.assertFalse(os.path.exists(self.lock_path))

        # A lock left naming a live process that is no copy (this test) is stale:
        # it neither makes --status wait nor keeps a command from starting one.
        with open(self.lock_path, "w") as f:
            f.write(f"{os.getpid()}\nduskwarden\nhost\n")
        started = time.monotonic()
        self.assertEqual(self.cli("--status").returncode, 3)
        self.assertLess(time.monotonic() - started, 3.0)

        result = self.cli("--strength", "0.2")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        with open(self.lock_path) as f:
            pid = int(f.read().split()[0])
        self.addCleanup(self.stop_started, pid)
        self.wait_for_sim(strength=0.2)
        # Started as a launcher starts it: detached from us and our terminal.
        self.assertEqual(os.getsid(pid), pid)
        self.assertEqual(os.readlink(f"/proc/{pid}/fd/0"), "/dev/null")
        self.assertEqual(os.readlink(f"/proc/{pid}/cwd"), self.s.home)
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            self.assertEqual(f.read().split(b"\0")[1:], [b""], "started with arguments")
        trayui.wait_for_icon(self.d, pid)
        self.assertEqual(self.status()["strength"], 0.2)

    def test_a_runtime_directory_that_cannot_hold_the_socket_and_a_start_that_fails(self):
        runtime_file = self.s.path("runtime-file")
        open(runtime_file, "w").close()
        for name, runtime, display, status, said in (
            ("a file", runtime_file, None, 0, ""),
            ("too long for a socket path", os.path.join(self.s.runtime, "r" * 90), None, 0, ""),
            ("no display", None, ":97", 1, "was started but ended with status 1: cannot open display ':97'"),
        ):
            with self.subTest(name):
                tmp = tempfile.mkdtemp(dir=self.s.root)  # this row's own fallback runtime directory
                env = dict(self.s.env, TMPDIR=tmp, DISPLAY=display or self.s.env["DISPLAY"])
                if runtime:
                    env["XDG_RUNTIME_DIR"] = runtime
                # A command that needs no backend: the simulator keeps its state under
                # $XDG_RUNTIME_DIR as given, without the program's fallback.
                result = self.s.run([self.dw.binary, "--keep-always-on", "off"], env=env, check=False, timeout=60)
                self.assertEqual((result.returncode, len(result.stderr.splitlines())), (status, int(status)),
                                 result.stderr)
                self.assertIn(said, result.stderr)
                if status == 0:
                    with open(os.path.join(tmp, f"runtime-{os.getuid()}", BUNDLE_ID + ".lock")) as f:
                        self.stop_started(int(f.read().split()[0]))

    def stop_started(self, pid):
        """Not our child (it was the command's): watched through /proc, where it may linger as a zombie."""
        def alive():
            try:
                with open(f"/proc/{pid}/stat") as f:
                    return f.read().rsplit(")", 1)[1].split()[0] != "Z"
            except FileNotFoundError:
                return False
        if alive():
            os.kill(pid, signal.SIGTERM)
            if not wait_for(lambda: not alive(), 10):
                os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    unittest.main(verbosity=2)
