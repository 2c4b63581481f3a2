"""The accessible tree on the real accessibility bus, through pyatspi (so /usr/bin/python3)."""

import os
import subprocess
import sys


def own_pid_namespace():
    """Re-runs this script in a PID namespace of its own, so the buses it starts end with it."""
    if "DW_PID_NAMESPACE" in os.environ or subprocess.run(
            ["unshare", "--fork", "--pid", "--mount-proc", "true"], capture_output=True).returncode != 0:
        return
    os.environ["DW_PID_NAMESPACE"] = "1"
    os.execvp("unshare", ["unshare", "--fork", "--pid", "--mount-proc", "--kill-child", sys.executable, *sys.argv])


def start(desk):
    """The accessibility bus on `desk`'s session bus, for pyatspi and for programs started with
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1."""
    desk.session.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    desk.bus.wait_for_name("org.a11y.Bus", 10)
    os.environ.update(DBUS_SESSION_BUS_ADDRESS=desk.env["DBUS_SESSION_BUS_ADDRESS"], DISPLAY=desk.env["DISPLAY"])


def walk(node, depth=0):
    """[(depth, node)] in reading order."""
    found = [(depth, node)]
    for i in range(node.childCount):
        found += walk(node.getChildAtIndex(i), depth + 1)
    return found


def tree(pid):
    """[(depth, node)] of the application `pid`, read afresh."""
    import pyatspi
    from gi.repository import Atspi
    desktop = pyatspi.Registry.getDesktop(0)
    ours = [a for a in desktop if a is not None and a.get_process_id() == pid]
    if not ours:
        return []
    ours[0].set_cache_mask(Atspi.Cache.NONE)  # nobody runs the event loop that would keep a cache fresh
    return walk(ours[0])


# AT-SPI 2.46 (Debian 12) names a push button "push button", 2.56 (Debian 13) "button".
_SAME_ROLE = {"button": "push button"}


def node(pid, role, name):
    want = _SAME_ROLE.get(role, role)
    return next((n for _, n in tree(pid)
                 if _SAME_ROLE.get(n.getRoleName(), n.getRoleName()) == want and n.name == name), None)
