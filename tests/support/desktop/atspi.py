"""The program's accessible tree as a screen reader reads it: the real
accessibility bus (at-spi-bus-launcher) on the desktop's private session
bus, read with pyatspi, which only the system interpreter has (run such
tests with /usr/bin/python3)."""

import os
import subprocess
import sys


def own_pid_namespace():
    """Re-runs this script in a PID namespace of its own where it may, so the
    accessibility bus and registry daemon end with it."""
    if "DW_PID_NAMESPACE" in os.environ or subprocess.run(
            ["unshare", "--fork", "--pid", "--mount-proc", "true"], capture_output=True).returncode != 0:
        return
    os.environ["DW_PID_NAMESPACE"] = "1"
    os.execvp("unshare", ["unshare", "--fork", "--pid", "--mount-proc", "--kill-child", sys.executable, *sys.argv])


def start(desk):
    """Starts the accessibility bus in `desk` (an XDesktop with a session bus)
    and points this process's pyatspi at it. Programs started after it need
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
    """[(depth, node)] of the application `pid`, read afresh; [] before it has one."""
    import pyatspi
    from gi.repository import Atspi
    desktop = pyatspi.Registry.getDesktop(0)
    ours = [a for a in desktop if a is not None and a.get_process_id() == pid]
    if not ours:
        return []
    ours[0].set_cache_mask(Atspi.Cache.NONE)  # nobody runs the event loop that would keep a cache fresh
    return walk(ours[0])


def node(pid, role, name):
    """The first node of `pid` with that role name and accessible name, or None."""
    return next((n for _, n in tree(pid) if n.getRoleName() == role and n.name == name), None)


def spoken(node):
    """One line as a screen reader reads a node: role, name, value, states, relations."""
    import pyatspi
    parts = [node.getRoleName(), repr(node.name)]
    if node.description:
        parts.append(f"description {node.description!r}")
    if "Value" in pyatspi.listInterfaces(node):
        v = node.queryValue()
        parts.append(f"value {v.currentValue:g} of {v.minimumValue:g}..{v.maximumValue:g} step {v.minimumIncrement:g}")
    states = node.getState()
    parts += [pyatspi.stateToString(s) for s in (pyatspi.STATE_FOCUSED, pyatspi.STATE_CHECKED) if states.contains(s)]
    if states.contains(pyatspi.STATE_FOCUSABLE) and not states.contains(pyatspi.STATE_SENSITIVE):
        parts.append("unavailable")
    parts += [f"labelled by {r.getTarget(0).name!r}" for r in node.getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    return ", ".join(parts)


def reading(pid):
    """The whole tree of `pid`, one spoken() line a node, indented by depth."""
    return "\n".join("  " * depth + spoken(n) for depth, n in tree(pid))
