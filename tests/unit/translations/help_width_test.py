#!/usr/bin/env python3
"""`duskwarden --help` fits an 80-column terminal in every language, counted
by display width (what a terminal shows), not bytes.

Usage: help_width_test.py DUSKWARDEN_BINARY"""
import os
import subprocess
import sys
import unicodedata
import unittest

BINARY = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get("DW_DUSKWARDEN", "")


def columns(line):
    wide = sum(unicodedata.east_asian_width(c) in "WF" for c in line)
    combining = sum(unicodedata.combining(c) != 0 for c in line)
    return len(line) + wide - combining


class HelpWidth(unittest.TestCase):
    def test_every_line_of_help_fits_80_columns(self):
        for language, says in (("en", "Usage:"), ("de", "Aufruf:"), ("fr", "Utilisation"), ("es", "Uso:")):
            with self.subTest(language=language):
                env = dict(os.environ, LANGUAGE=language, LANG="C.UTF-8", LC_ALL="")
                # Run as a user runs it from PATH: the usage lines name the program.
                out = subprocess.run(["duskwarden", "--help"], executable=BINARY, env=env, check=True,
                                     capture_output=True, text=True, timeout=30).stdout
                self.assertTrue(out.startswith(says), out[:80])
                wide = [(columns(line), line) for line in out.splitlines() if columns(line) > 80]
                self.assertEqual(wide, [])


if __name__ == "__main__":
    unittest.main()
