"""Keep Always On saved or refused as one. The settings folder
($XDG_CONFIG_HOME) is a tiny tmpfs, made full or read-only under the running
copy: --keep-always-on exits 1 with the reason on one line of stderr, and the
settings file, the autostart entry and --status stay as they were.

Run in a mount namespace of its own (CMakeLists.txt: unshare), so the tmpfs
goes with the test."""

import json
import os
import subprocess
import unittest

from desktop import XDesktop, find_build_dir, trayui

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class KeepAlwaysOnOnAFullDisk(unittest.TestCase):
    def setUp(self):
        self.d = XDesktop(BUILD)
        self.addCleanup(self.d.close)
        self.s, self.dw = self.d.session, self.d.app
        self.config = self.s.config
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k,mode=0700", "tmpfs", self.config], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", self.config])
        self.app = trayui.launch(self.d, "full-disk")

    def cli(self, *args):
        return self.s.run([self.dw.binary, *args], check=False, timeout=60)

    def fill(self):
        fd = os.open(os.path.join(self.config, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while os.write(fd, b"\0" * 4096):
                pass
        except OSError:  # full
            pass
        finally:
            os.close(fd)

    def read_only(self):
        subprocess.run(["mount", "-o", "remount,ro", self.config], check=True)

    def restore(self):
        subprocess.run(["mount", "-o", "remount,rw", self.config], check=True)
        if os.path.exists(os.path.join(self.config, "filler")):
            os.remove(os.path.join(self.config, "filler"))

    def test_a_save_that_fails_changes_neither_the_setting_nor_the_entry(self):
        for spoil, said in ((self.fill, "No space left on device"), (self.read_only, "Read-only file system")):
            for before, asked in (("on", "off"), ("off", "on")):
                with self.subTest(spoil=spoil.__name__, asked=asked):
                    self.restore()
                    self.assertEqual(self.cli("--keep-always-on", before).returncode, 0)
                    files = read(self.dw.defaults_file), read(self.dw.autostart_entry)
                    self.assertEqual(files[1] is not None, before == "on")
                    spoil()
                    result = self.cli("--keep-always-on", asked)
                    self.assertEqual((result.returncode, len(result.stderr.splitlines())), (1, 1), result.stderr)
                    self.assertIn(said, result.stderr)
                    self.assertEqual((read(self.dw.defaults_file), read(self.dw.autostart_entry)), files)
                    status = json.loads(self.cli("--status", "--json").stdout)
                    self.assertEqual(status["keepAlwaysOn"], before == "on")
        self.restore()


if __name__ == "__main__":
    unittest.main(verbosity=2)
