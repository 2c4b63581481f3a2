#!/usr/bin/env python3
"""`duskwarden --help` fits 80 columns in every language, counted by display width, not bytes.
Usage: help_width_test.py DUSKWARDEN_BINARY"""
import os
import subprocess
import sys
import unicodedata


def columns(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 0 if unicodedata.combining(c) else 1 for c in line)


for language, usage in (("en", "Usage:"), ("de", "Aufruf:"), ("fr", "Utilisation"), ("es", "Uso:")):
    env = dict(os.environ, LANGUAGE=language, LANG="C.UTF-8", LC_ALL="")
    # Named as a user runs it from PATH: the usage lines show the name.
    out = subprocess.run(["duskwarden", "--help"], executable=sys.argv[1], env=env, check=True,
                         capture_output=True, text=True, timeout=30).stdout
    wide = [line for line in out.splitlines() if columns(line) > 80]
    assert out.startswith(usage) and not wide, f"{language}: {out[:40]!r}, wider than 80: {wide}"
print("passed")
