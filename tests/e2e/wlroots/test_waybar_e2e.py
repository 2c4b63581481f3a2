"""Real waybar on real headless sway, as a user sets it up from
docs/status-bars.md: its custom module runs `duskwarden --status --follow
--format waybar` and styles itself by the class it is sent; its tray (an
SNI host of its own) shows the program's icon and menu.

Each class gets its own background in the test's style sheet, so a grim
screenshot of the bar says which class waybar applied; the screenshots are
saved (PNG) for a person to read the text. The program runs on sway's
Xwayland with the simulator backend, on a private session bus shared with
waybar.
"""

import json
import os
import subprocess
import time
import unittest

from desktop import Duskwarden, PrivateSession, find_build_dir, read_log, sni
from desktop.bus import Bus
from desktop.procs import wait_for
from desktop.screenshots import artifacts_dir
from desktop.sway import Sway
from desktop.xinput import XInput

SOURCE = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = find_build_dir(SOURCE)
WIDTH, HEIGHT, BAR = 1280, 800, 30
CLASSES = {"on": (0, 200, 0), "kept": (0, 0, 200), "off": (200, 0, 0), "failed": (200, 200, 0)}
STYLE = "* { font-family: DejaVu Sans; font-size: 13px; min-height: 0; }\n" + "".join(
    f"#custom-duskwarden.{name} {{ background: rgb{rgb}; color: white; padding: 0 12px; }}\n"
    for name, rgb in CLASSES.items())


def docs_block(heading, language):
    """The first ```language block under `heading` in docs/status-bars.md."""
    with open(os.path.join(SOURCE, "docs", "status-bars.md")) as f:
        text = f.read()
    after = text[text.index(heading + "\n"):]
    start = after.index("```" + language + "\n") + len(language) + 4
    return after[start:after.index("```", start)]


def bar_pixels(s):
    """The bar's strip as RGB bytes, from grim's PPM."""
    ppm = subprocess.run(["grim", "-t", "ppm", "-g", f"0,0 {WIDTH}x{BAR}", "-"], env=s.env, capture_output=True,
                         check=True, timeout=20).stdout
    header_end = 0
    for _ in range(4):  # "P6", width, height, maxval: whitespace-separated
        while ppm[header_end:header_end + 1].isspace():
            header_end += 1
        while not ppm[header_end:header_end + 1].isspace():
            header_end += 1
    return ppm[header_end + 1:]


def shown_class(s):
    """The class whose colour fills most of the bar, or None."""
    pixels = bar_pixels(s)
    counts = {name: 0 for name in CLASSES}
    for i in range(0, len(pixels) - 2, 3):
        rgb = tuple(pixels[i:i + 3])
        for name, colour in CLASSES.items():
            if rgb == colour:
                counts[name] += 1
    best = max(counts, key=counts.get)
    return best if counts[best] > 100 else None


def tray_icon(s):
    """The centre of what is drawn in the bar's right quarter (the tray), or None."""
    pixels = bar_pixels(s)
    dark = [(i // 3 % WIDTH, i // 3 // WIDTH) for i in range(0, len(pixels) - 2, 3)
            if i // 3 % WIDTH > WIDTH * 3 // 4 and sum(pixels[i:i + 3]) < 200]
    if not dark:
        return None
    xs, ys = [p[0] for p in dark], [p[1] for p in dark]
    return (min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2


class WaybarModuleAndTray(unittest.TestCase):
    def test_the_module_follows_outside_changes_and_the_tray_shows_the_icon_and_menu(self):
        s = PrivateSession()
        self.addCleanup(s.close)
        shots = artifacts_dir("e2e-waybar", os.path.join(BUILD))
        os.makedirs(shots, exist_ok=True)
        bus = Bus(s, any_user=True)
        Sway(s, width=WIDTH, height=HEIGHT, bus=bus, xwayland=True)
        app_runner = Duskwarden(s, BUILD)
        app = app_runner.launch(s.path("app.log"))

        # The module as docs/status-bars.md gives it, pointed at this build.
        module = json.loads("{" + docs_block("## waybar", "json") + "}")["custom/duskwarden"]
        for key in ("exec", "on-click", "on-click-right", "on-click-middle"):
            module[key] = module[key].replace("duskwarden ", app_runner.binary + " ", 1)
        config = s.path("waybar.json")
        with open(config, "w") as f:
            json.dump({"layer": "top", "position": "top", "height": BAR, "modules-left": ["custom/duskwarden"],
                       "modules-right": ["tray"], "tray": {"icon-size": 20, "spacing": 4},
                       "custom/duskwarden": module}, f)
        style = s.path("waybar.css")
        with open(style, "w") as f:
            f.write(STYLE)
        waybar = s.spawn(["waybar", "-c", config, "-s", style], log=s.path("waybar.log"))
        self.addCleanup(s.stop, waybar)

        def shows(name, png):
            seen = wait_for(lambda: shown_class(s) == name, 10, interval=0.1)
            subprocess.run(["grim", "-g", f"0,0 {WIDTH}x{BAR}", os.path.join(shots, png)], env=s.env, check=False)
            self.assertTrue(seen, f"waybar did not show class {name} (shows {shown_class(s)}); see {shots}/{png}")

        shows("off", "waybar-off-at-start.png")
        app_runner.sim("on")
        shows("on", "waybar-on.png")
        app_runner.sim("off")  # an outside turn-off
        shows("off", "waybar-off.png")
        self.assertEqual(s.run([app_runner.binary, "--keep-always-on", "on"], check=False).returncode, 0)
        shows("kept", "waybar-kept.png")

        # The tray: waybar's own host has our item, whose menu is the program's.
        item = wait_for(lambda: sni.items(bus), 10)
        self.assertTrue(item, "no item in waybar's watcher")
        layout = sni.menu_layout(bus, item[0]) or ""
        for label in ("Show Controls", "Check for Updates...", "Quit Duskwarden"):
            self.assertIn(label, layout)
        # sway's headless seat has no pointer (capabilities 0, no devices), so
        # no click reaches waybar: the call its tray makes on a left click,
        # Activate at the icon, is made here. The popover opens next to it.
        icon = tray_icon(s)
        self.assertIsNotNone(icon, "no icon drawn in waybar's tray")
        xinput = XInput(s)
        windows = lambda: [w for w in xinput.windows(app.pid) if w.w >= 300]  # noqa: E731  on Xwayland
        sni.activate(bus, item[0], *icon)
        popover = wait_for(windows, 5)
        time.sleep(0.3)
        subprocess.run(["grim", os.path.join(shots, "waybar-popover.png")], env=s.env, check=False)
        self.assertTrue(popover, f"no popover after Activate at {icon}; see {app.log}")
        self.assertLess(abs(popover[0].x + popover[0].w / 2 - icon[0]), popover[0].w, f"popover at {popover[0]}")
        self.assertIsNone(app.poll(), f"the program ended; see {app.log}")
        print(f"screenshots in {shots}; waybar log {s.path('waybar.log')}", flush=True)
        print("\n".join(read_log(s.path("waybar.log"))[-10:]), flush=True)


if __name__ == "__main__":
    unittest.main()
