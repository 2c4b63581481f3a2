#!/usr/bin/env python3
"""Under de_DE.UTF-8 the no-tray notice is German while the log stays English,
the C library's error text included (the GNOME backend where no session bus listens)."""

import os
import unittest

from desktop import XDesktop, find_build_dir, read_log

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)


class LogLanguage(unittest.TestCase):
    def test_log_lines_stay_english_while_the_program_speaks_german(self):
        d = XDesktop(BUILD, tray=False)
        self.addCleanup(d.close)
        bus = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + d.session.path("no-bus")}
        proc = d.app.launch(d.session.path("app.log"), "gnome", bus)
        line = d.app.wait_for_line(proc, "GNOME: no session bus", timeout=30)
        self.assertIsNotNone(line, read_log(proc.log))
        self.assertIn("(No such file or directory)", line)
        self.assertIsNotNone(d.app.wait_for_line(proc, "kein Infobereich gefunden", timeout=30), read_log(proc.log))


if __name__ == "__main__":
    unittest.main()
