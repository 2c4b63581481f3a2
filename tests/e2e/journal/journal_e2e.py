#!/usr/bin/env python3
"""The log in a real journal (journald in a private mount namespace; root only), natively and on a stream."""

import json
import os
import socket
import subprocess
import sys
import unittest

from desktop import Duskwarden, PrivateSession, find_build_dir
from wait import wait_for

BUILD = find_build_dir(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
STATUS, PROVIDER = "Status update - enabled: false, strength: 0.500000", "Using the sim backend (DUSKWARDEN_NIGHTLIGHT_BACKEND)"
ERROR, SOCKET = "Could not read the defaults file", "/run/systemd/journal/socket"
JOURNALD = "/lib/systemd/systemd-journald"


def entries(identifier):
    out = subprocess.run(["journalctl", "-D", "/run/log/journal", "-o", "json", "SYSLOG_IDENTIFIER=" + identifier],
                         capture_output=True, text=True).stdout
    got = {e["MESSAGE"].split("] ", 1)[-1].removeprefix("error: "): e for e in map(json.loads, out.splitlines())}
    return {(ERROR if m.startswith(ERROR) else m): e for m, e in got.items()}


def run_app(identifier, stream=None, journal_stream="0:0"):
    with PrivateSession() as s:
        dw = Duskwarden(s, BUILD)
        os.makedirs(dw.defaults_file)
        env = {"QT_QPA_PLATFORM": "offscreen", "DUSKWARDEN_NIGHTLIGHT_BACKEND": "sim", "JOURNAL_STREAM": journal_stream}
        app = s.spawn([dw.binary, "--autostart"], extra_env=env, stdout=stream, stderr=stream)
        wait_for(lambda: STATUS in entries(identifier), 20)
        s.stop(app)
    return entries(identifier)


class Journal(unittest.TestCase):
    def test_levels_callers_and_stream_prefixes(self):
        got = run_app("duskwarden")
        self.assertEqual([got[m]["PRIORITY"] for m in (STATUS, PROVIDER, ERROR)], ["5", "6", "3"])
        self.assertEqual([os.path.basename(got[m]["CODE_FILE"]) for m in (STATUS, ERROR)],
                         ["NightShiftManager.cpp", "UserDefaults.cpp"])
        self.assertTrue("NightShiftManager::" in got[STATUS]["CODE_FUNC"] and int(got[STATUS]["CODE_LINE"]) > 0)
        self.assertEqual([e for e in got.values() if "MESSAGE_FORMAT" in e], [])
        os.rename(SOCKET, SOCKET + ".aside")  # no native protocol: stderr it is
        for identifier, named, priorities in (("dw-named", True, ["5", "6", "3"]), ("dw-other", False, ["6"] * 3)):
            with socket.socket(socket.AF_UNIX) as stream:
                stream.connect("/run/systemd/journal/stdout")
                stream.sendall(f"{identifier}\n\n6\n{int(named)}\n0\n0\n0\n".encode())  # as systemd opens one
                st = os.fstat(stream.fileno())
                got = run_app(identifier, stream, f"{st.st_dev}:{st.st_ino + (0 if named else 1)}")
            self.assertEqual([got[m]["PRIORITY"] for m in (STATUS, PROVIDER, ERROR)], priorities)
            self.assertEqual([m for m, e in got.items() if e["MESSAGE"].startswith("<")], [])


def unhostable():
    """Why this environment cannot host a journald of the test's own, or None."""
    if os.geteuid() != 0:
        return "needs root, for a mount namespace with a /run of its own"
    if not os.path.exists(JOURNALD):
        return f"no {JOURNALD} (package systemd)"
    probe = subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        # In a plain chroot / is not a mount point, so its propagation cannot
        # be made private; bind-mounting the chroot onto itself makes it one.
        return f"no private mount namespace here ({probe.stderr.strip()}; is / a mount point?)"
    return None


if __name__ == "__main__":
    if os.environ.get("DW_JOURNAL_NAMESPACE") != "1":  # again, in a mount namespace with a /run of its own
        why = unhostable()
        if why:
            print(f"skipped: {why}", flush=True)
            sys.exit(77)
        sys.exit(subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable, *sys.argv],
                                env=dict(os.environ, DW_JOURNAL_NAMESPACE="1")).returncode)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"], check=True)
    os.makedirs("/run/systemd/journal")
    journald = subprocess.Popen([JOURNALD])
    if not wait_for(lambda: os.path.exists("/run/systemd/journal/stdout"), 10):
        journald.kill()
        print(f"skipped: {JOURNALD} did not open its sockets within 10 s (exit status {journald.wait()})", flush=True)
        sys.exit(77)
    try:
        unittest.main(verbosity=2)
    finally:
        journald.terminate()
        journald.wait()
