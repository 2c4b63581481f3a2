#!/usr/bin/env python3
"""The program's log in a real journal: systemd-journald in a private mount
namespace (root only, else skipped), the program on the simulator with a
defaults file it cannot read, so it logs an error, notices and the
provider's information. Natively, each entry has its level and its caller;
through a stderr stream, a "<N>" prefix carries the level only when
JOURNAL_STREAM names that stream."""

import json
import os
import socket
import subprocess
import sys
import unittest

from desktop import BUNDLE_ID, Duskwarden, PrivateSession, find_build_dir, wait_for

BUILD = find_build_dir(os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "..")))
SKIP = 77
STATUS = "Status update - enabled: false, strength: 0.500000"


def journal(identifier):
    out = subprocess.run(["journalctl", "-D", "/run/log/journal", "-o", "json", f"SYSLOG_IDENTIFIER={identifier}"],
                         capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def stream(identifier, level_prefix):
    """A stream into the journal, as systemd gives a service's stderr."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect("/run/systemd/journal/stdout")
    Journal.streams.append(s)
    s.sendall(f"{identifier}\n\n6\n{int(level_prefix)}\n0\n0\n0\n".encode())
    return s


class Journal(unittest.TestCase):
    streams = []

    def tearDown(self):
        while self.streams:
            self.streams.pop().close()

    def run_app(self, identifier, stderr=None, journal_stream=None):
        """Runs the program until its status line is in the journal; returns the entries."""
        with PrivateSession() as s:
            dw = Duskwarden(s, BUILD)
            os.makedirs(dw.defaults_file)  # a directory: "Could not read the defaults file"
            env = {"QT_QPA_PLATFORM": "offscreen", "DUSKWARDEN_NIGHTLIGHT_BACKEND": "sim"}
            if journal_stream:
                env["JOURNAL_STREAM"] = journal_stream
            app = s.spawn([dw.binary, "--autostart"], extra_env=env, stdout=stderr, stderr=stderr)
            found = wait_for(lambda: any(STATUS in e["MESSAGE"] for e in journal(identifier)), 20)
            s.stop(app)
            self.assertTrue(found, f"no status line in the journal: {journal(identifier)}")
            return {e["MESSAGE"]: e for e in journal(identifier)}

    def test_native_entries_carry_level_and_caller_and_no_format(self):
        entries = self.run_app("duskwarden")
        status = entries[STATUS]
        self.assertEqual(status["PRIORITY"], "5")
        self.assertTrue(status["CODE_FILE"].endswith("src/nightshift/NightShiftManager.cpp"), status)
        self.assertIn("NightShiftManager::", status["CODE_FUNC"])
        self.assertGreater(int(status["CODE_LINE"]), 0)
        error = next(e for m, e in entries.items() if m.startswith("Could not read the defaults file"))
        self.assertEqual((error["PRIORITY"], error["CODE_FILE"].rsplit("/", 1)[1]), ("3", "UserDefaults.cpp"))
        self.assertEqual(entries["Using the sim backend (DUSKWARDEN_NIGHTLIGHT_BACKEND)"]["PRIORITY"], "6")
        self.assertFalse([e for e in entries.values() if "MESSAGE_FORMAT" in e])

    def test_stderr_lines_carry_a_prefix_only_on_the_stream_journal_stream_names(self):
        os.rename("/run/systemd/journal/socket", "/run/systemd/journal/socket.aside")  # no native protocol
        self.addCleanup(os.rename, "/run/systemd/journal/socket.aside", "/run/systemd/journal/socket")
        named = stream("dw-named", True)
        st = os.fstat(named.fileno())
        entries = self.run_app("dw-named", named, f"{st.st_dev}:{st.st_ino}")
        prefix = f"[{BUNDLE_ID}:"
        self.assertEqual(entries[prefix + "NightShiftManager] " + STATUS]["PRIORITY"], "5")
        self.assertEqual(entries[prefix + "NightlightProvider] Using the sim backend (DUSKWARDEN_NIGHTLIGHT_BACKEND)"]
                         ["PRIORITY"], "6")
        self.assertEqual({e["PRIORITY"] for m, e in entries.items() if "] error: " in m}, {"3"})
        other = stream("dw-other", False)  # JOURNAL_STREAM names another stream: plain lines
        entries = self.run_app("dw-other", other, f"{st.st_dev}:{st.st_ino + 1}")
        self.assertIn(prefix + "NightShiftManager] " + STATUS, entries)


if __name__ == "__main__":
    if os.environ.get("DW_JOURNAL_NAMESPACE") != "1":
        if os.geteuid() != 0 or not os.path.exists("/lib/systemd/systemd-journald"):
            print("skipped: needs root and systemd-journald")
            sys.exit(SKIP)
        env = dict(os.environ, DW_JOURNAL_NAMESPACE="1")
        code = subprocess.run(["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv],
                              env=env).returncode
        sys.exit(code)
    # Inside: a /run of our own, where the program and journalctl find this journald.
    if subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"]).returncode != 0:
        sys.exit(SKIP)
    os.makedirs("/run/systemd/journal")
    journald = subprocess.Popen(["/lib/systemd/systemd-journald"], stdout=subprocess.DEVNULL)
    wait_for(lambda: os.path.exists("/run/systemd/journal/stdout"), 10)
    try:
        unittest.main(verbosity=2)
    finally:
        journald.terminate()
        journald.wait()
