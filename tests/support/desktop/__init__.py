"""Desktop test fixture: real desktop pieces, headless and private, for the
end-to-end tests, the demo and the benchmarks.

Put tests/support on PYTHONPATH (CTest does, through each test's
ENVIRONMENT) and `import desktop`. Everything is a context manager or hangs
off one: what a PrivateSession started is stopped (SIGTERM to its process
group, then SIGKILL) and its directories are removed when the `with` block
ends, also on an exception, on Ctrl-C and on SIGTERM (a CTest timeout).

The usual X11 desktop, in one object::

    from desktop import XDesktop, trayui
    with XDesktop(build_dir, artifacts="e2e-mine") as d:      # Xvfb + trayer
        d.app.write_defaults(True)                            # Keep Always On stored
        app = trayui.launch(d, "first", backend="sim")        # waits for the icon
        pop = trayui.open_popover(d, app)                     # Window(id, x, y, w, h)
        d.shots.save("popover.png")                           # into $DW_TEST_ARTIFACTS/e2e-mine
        d.input.click_at(*trayui.keep_always_on_switch(d, pop))
        assert d.app.wait_for_line(app, "Auto-enable toggled: true")
        d.app.sim("off"); d.app.sim_state()                   # the simulator, from outside

The pieces, each usable alone in a PrivateSession `s` (each sets what its
clients need in `s.env`, so start them in dependency order):

  session    PrivateSession: HOME, XDG_{CONFIG,DATA,CACHE,STATE}_HOME, a 0700
             XDG_RUNTIME_DIR; s.spawn / s.run / s.stop / s.defer.
  procs      Processes, rss_kib, groups_alive. (Waits: wait_for and stays in
             tests/support/wait.py, `from wait import wait_for`.)
  bus        Bus(s) a private session bus; Bus(s, "system") a private system
             bus; Logind(system_bus) python3-dbusmock's logind, with
             add_session, set_active (VT switch), prepare_for_sleep (suspend and
             resume). Bus.call / get_property / has_owner / wait_for_name via gdbus.
  xserver    Xvfb(s): a free display, -noreset; neutral_gamma().
  tray       Trayer(s): the XEmbed tray host.
  xinput     XInput(s): windows(pid), geometry, title, click_at, key (xdotool).
  x11        XConnection (in-process: viewable, mapped_popups, stacking, pointer_free,
             selection_owner, gamma_ramps); read_ramps / wait_ungrabbed run in
             a child process, so a fault in Xlib cannot kill the harness.
  screenshots  Screenshots(s, dir).save(name) / pixels(rect); artifacts_dir().
  app        Duskwarden(s, build_dir): launch, wait_for_line, write_defaults,
             sim / sim_state, build_flood_tool; read_log, status_updates, error_level.
  trayui     The program's icon, popover, menu and dialogs on an X tray, and the
             popover's controls found by colour.
  gnome      GnomeShell(s, bus): gnome-shell --headless (needs Logind on a
             system bus); enable_appindicator() adds the SNI watcher and host.
  xfce       XfcePanel(s, bus): xfce4-panel with its systray plugin (SNI and
             XEmbed) on the session's Xvfb.
  lxqt       LxqtPanel(s, bus): lxqt-panel with its Status Notifier plugin (SNI).
  mate       MatePanel(s, bus): mate-panel with its notification area applet
             (SNI and XEmbed).
  sway       Sway(s, bar=, bus=Bus(s, any_user=True), xwayland=): headless sway
             as `nobody` when run as root; msg, outputs, create_output,
             set_output_enabled.
  kwin       KWin(s, bus, xwayland=): kwin_wayland --virtual with its night
             light (Plasma 5.27's /ColorCorrect or Plasma 6's NightLight object);
             object, night_color, night_color_property.
  sni        A tray host's calls on StatusNotifierItems: items(bus), activate,
             context_menu, item_property, menu_layout and menu_event (dbusmenu).
  atspi      The accessible tree on the real accessibility bus (pyatspi, so
             /usr/bin/python3): own_pid_namespace, start, tree, node.

`python3 -m desktop [x11 logind gnome xfce lxqt mate sway kwin]` starts each one, prints
what it found and its start-up time, and checks that nothing is left behind.
"""

from .app import BUNDLE_ID, Duskwarden, error_level, find_build_dir, read_log, status_updates
from .bus import Bus, Logind
from .procs import Processes, groups_alive, rss_kib
from .screenshots import Screenshots, artifacts_dir, find_runs
from .session import PrivateSession
from .tray import Trayer
from .x11 import XConnection, ramp_tops, read_ramps
from .xdesktop import XDesktop
from .xinput import Window, XInput
from .xserver import Xvfb
from . import trayui  # noqa: F401  (the program's windows, used as trayui.*)

__all__ = ["BUNDLE_ID", "Bus", "Duskwarden", "Logind", "PrivateSession", "Processes", "Screenshots", "Trayer",
           "Window", "XConnection", "XDesktop", "XInput", "Xvfb", "artifacts_dir", "error_level", "find_build_dir",
           "find_runs", "groups_alive", "ramp_tops", "read_log", "read_ramps", "rss_kib", "status_updates",
           "trayui"]
