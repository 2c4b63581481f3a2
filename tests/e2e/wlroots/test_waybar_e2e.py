"""Real waybar on headless sway with docs/status-bars.md's module, each class with its own background
(read back with grim), and waybar's tray; the program on sway's Xwayland with the simulator."""

import json
import os
import re
import subprocess
import unittest

from desktop import Duskwarden, PrivateSession, find_build_dir, sni
from desktop.bus import Bus
from desktop.screenshots import artifacts_dir
from desktop.sway import Sway
from desktop.xinput import XInput
from wait import wait_for

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
WIDTH, BAR = 1280, 30
CLASSES = {"on": (0, 200, 0), "kept": (0, 0, 200), "off": (200, 0, 0), "failed": (200, 200, 0)}


def bar(s):
    ppm = subprocess.run(["grim", "-t", "ppm", "-g", f"0,0 {WIDTH}x{BAR}", "-"], env=s.env, capture_output=True,
                         check=True, timeout=20).stdout
    data = ppm[len(f"P6\n{WIDTH} {BAR}\n255\n"):]
    return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]


class Waybar(unittest.TestCase):
    def test_module_and_tray(self):
        s = PrivateSession()
        self.addCleanup(s.close)
        os.makedirs(shots := artifacts_dir("e2e-waybar", BUILD), exist_ok=True)
        bus = Bus(s, any_user=True)
        Sway(s, width=WIDTH, bus=bus, xwayland=True)
        app = (dw := Duskwarden(s, BUILD)).launch(s.path("app.log"))
        with open(os.path.join(SOURCE, "docs", "status-bars.md")) as f:
            block = re.search(r"## waybar.*?```json\n(.*?)```", f.read(), re.S).group(1)
        module = json.loads(("{" + block + "}").replace('"duskwarden ', f'"{dw.binary} '))
        with open(s.path("waybar.json"), "w") as f:
            json.dump({"height": BAR, "modules-left": ["custom/duskwarden"], "modules-right": ["tray"], **module}, f)
        with open(s.path("style.css"), "w") as f:
            f.write("".join(f"#custom-duskwarden.{c} {{ background: rgb{rgb}; color: white; }}\n" for c, rgb in CLASSES.items()))
        s.spawn(["waybar", "-c", s.path("waybar.json"), "-s", s.path("style.css")], log=s.path("waybar.log"))
        for step, run, expected in (("start", list, "off"), ("on", lambda: dw.sim("on"), "on"),
                                    ("off", lambda: dw.sim("off"), "off"),
                                    ("keep", lambda: s.run([dw.binary, "--keep-always-on", "on"]), "kept")):
            run()
            shown = wait_for(lambda: bar(s).count(CLASSES[expected]) > 100, 10, interval=0.1)  # noqa: B023
            subprocess.run(["grim", "-g", f"0,0 {WIDTH}x{BAR}", f"{shots}/module-{step}-{expected}.png"], env=s.env)
            self.assertTrue(shown, f"not {expected} after {step}; see {shots}")
        item = wait_for(lambda: sni.items(bus), 10) or self.fail("no item in waybar's watcher")
        for label in ("Show Controls", "Check for Updates...", "Quit Duskwarden"):
            self.assertIn(label, sni.menu_layout(bus, item[0]) or "")
        # The icon waybar drew: the dark pixels of the tray's corner. Its headless
        # seat has no pointer, so the Activate a left click sends is sent here.
        # The item registers before waybar has drawn its icon: wait for the drawing.
        dark = wait_for(lambda: [i % WIDTH for i, px in enumerate(bar(s)) if i % WIDTH > WIDTH - 100 and sum(px) < 200],
                        10, "the icon in waybar's tray", interval=0.1)
        sni.activate(bus, item[0], (min(dark) + max(dark)) // 2, BAR // 2)
        popover = wait_for(lambda: [w for w in XInput(s).windows(app.pid) if w.w >= 300], 5)
        subprocess.run(["grim", f"{shots}/tray-popover.png"], env=s.env)
        self.assertTrue(popover, f"no popover; see {app.log}")
        self.assertGreater(popover[0].x + popover[0].w, WIDTH - 100, f"not next to the icon: {popover[0]}")


if __name__ == "__main__":
    unittest.main()
