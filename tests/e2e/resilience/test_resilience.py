"""The real binary under faults: a broken provider library, a broken defaults
file, repeated launches. Each case runs on a private Xvfb with a tray host."""

import os
import shutil
import subprocess
import time
import unittest

from desktop import XDesktop, find_build_dir, read_log, trayui
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
LIBRARY = os.path.join(BUILD, "lib", "duskwarden", "libduskwarden-nightlight.so")


def error_lines(lines):
    return [l for l in lines if "error" in l.lower() or "could not" in l.lower() or "cannot" in l.lower()]


class Base(unittest.TestCase):
    def setUp(self):
        self.d = XDesktop(BUILD)
        self.addCleanup(self.d.close)
        self.s, self.dw = self.d.session, self.d.app

    def launch(self, binary=None, backend="sim", name="dw.log"):
        return self.dw.launch(self.s.path(name), backend, binary=binary)

    def private_prefix(self):
        """A copy of the binary whose provider library slot the test controls."""
        prefix = os.path.join(self.s.root, "prefix")
        os.makedirs(os.path.join(prefix, "bin"))
        os.makedirs(os.path.join(prefix, "lib", "duskwarden"))
        binary = os.path.join(prefix, "bin", "duskwarden")
        shutil.copy2(self.dw.binary, binary)
        return binary, os.path.join(prefix, "lib", "duskwarden", "libduskwarden-nightlight.so")


class ProviderLibraryFaults(Base):
    """Without a usable library the app runs without a client and says why, once."""

    def run_without_client(self, binary):
        self.dw.write_defaults(True)
        p = self.launch(binary)
        trayui.wait_for_icon(self.d, p.pid)
        time.sleep(1.5)  # past setup, the launch enable and its 1.0 s window
        self.assertIsNone(p.poll(), "the app must keep running without a provider")
        lines = read_log(p.log)
        self.s.stop(p)
        errors = error_lines(lines)
        # The manager's line, then the reason the library did not load.
        self.assertEqual(len(errors), 2, "\n".join(lines))
        self.assertIn("Night-light provider: ", errors[1])
        # No client: Keep Always On is kept, but nothing reached the simulator.
        self.assertFalse(self.dw.sim_state()["enabled"])
        with open(self.dw.defaults_file) as f:
            self.assertIn("autoEnable=true", f.read())
        return lines

    def test_missing_library(self):
        binary, _ = self.private_prefix()
        self.run_without_client(binary)

    def test_truncated_library(self):
        binary, slot = self.private_prefix()
        with open(LIBRARY, "rb") as src, open(slot, "wb") as dst:
            dst.write(src.read(4096))
        self.run_without_client(binary)

    def test_library_with_an_unknown_table_version(self):
        binary, slot = self.private_prefix()
        source = os.path.join(self.s.root, "future.c")
        with open(source, "w") as f:
            f.write('#include "duskwarden/nightlight.h"\n'
                    "static dw_nightlight_ops ops = {DW_NIGHTLIGHT_ABI_VERSION + 1, sizeof(dw_nightlight_ops)};\n"
                    "const dw_nightlight_ops *dw_nightlight_get_ops(void) { return &ops; }\n")
        subprocess.run(["cc", "-shared", "-fPIC", "-I", os.path.join(SOURCE, "providers", "include"), "-o", slot, source],
                       check=True)
        self.run_without_client(binary)


class RepeatedLaunches(Base):
    def test_every_launch_reaches_the_tray_and_turns_night_light_on(self):
        self.dw.write_defaults(True)
        self.dw.sim("strength", "0.3")
        died = []
        # Twenty: the start-up crash this guards against struck about one launch in two.
        for i in range(20):
            self.dw.sim("off")
            p = self.launch(name=f"dw{i}.log")
            try:
                trayui.wait_for_icon(self.d, p.pid, timeout=8)
                self.assertTrue(wait_for(lambda: self.dw.sim_state()["enabled"], 5), f"launch {i}")
            except TimeoutError:
                died.append(f"launch {i}: exit {p.poll()}: " + " | ".join(read_log(p.log)[-2:]))
            self.s.stop(p)
        self.assertEqual(died, [])


class DefaultsFaults(Base):
    def test_corrupt_defaults_file_is_left_as_it_is_and_the_app_runs(self):
        os.makedirs(os.path.dirname(self.dw.defaults_file), mode=0o700)
        damaged = b"\x00\xff[Defaults\nautoEnable=tr"
        with open(self.dw.defaults_file, "wb") as f:
            f.write(damaged)
        p = self.launch()
        trayui.wait_for_icon(self.d, p.pid)
        self.assertIsNone(p.poll())
        lines = read_log(p.log)
        self.s.stop(p)
        self.assertEqual(len(error_lines(lines)), 1, "\n".join(lines))
        # Unknown is not false: nothing is written until the user sets it.
        with open(self.dw.defaults_file, "rb") as f:
            self.assertEqual(f.read(), damaged)
        self.assertFalse(os.path.exists(self.dw.autostart_entry))

    def test_unwritable_defaults_location_still_runs(self):
        # A file where the directory should be: no write succeeds, even as root.
        with open(os.path.dirname(self.dw.defaults_file), "w") as f:
            f.write("not a directory\n")
        p = self.launch()
        trayui.wait_for_icon(self.d, p.pid)
        time.sleep(1.0)
        self.assertIsNone(p.poll())
        self.s.stop(p)
        self.assertGreaterEqual(len(error_lines(read_log(p.log))), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
