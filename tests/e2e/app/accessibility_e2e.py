#!/usr/bin/python3
"""The popover as a screen reader and a keyboard-only user meet it: the real
binary on the simulator under Xvfb with trayer, the real accessibility bus
(at-spi-bus-launcher) read with pyatspi. Launched again, the program opens
its popover; the tree is walked and saved (accessible-tree.txt), and each
control is driven, by assistive technology and by keys, against --status,
the simulator and the log. Runs in a PID namespace of its own where it may,
so the accessibility bus and registry end with it.

Usage: accessibility_e2e.py BUILD_DIR   (needs /usr/bin/python3 with pyatspi)"""

import json
import os
import sys

from desktop import XDesktop, atspi, read_log, trayui
from wait import wait_for

atspi.own_pid_namespace()


def check(condition, message):
    if not condition:
        raise AssertionError(message)


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


def main(build):
    with XDesktop(build, session_bus=True, artifacts="e2e-accessibility") as d:
        atspi.start(d)
        app = trayui.launch(d, "app", extra_env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        import pyatspi

        def status():
            return json.loads(d.session.run([d.app.binary, "--status", "--json"], timeout=30).stdout)

        def commits():
            return sum("Setting color temperature strength to:" in line for line in read_log(app.log))

        def node(role, name):
            return atspi.node(app.pid, role, name)

        def focused():
            return next((n.name for _, n in atspi.tree(app.pid) if n.getState().contains(pyatspi.STATE_FOCUSED)), None)

        # A keyboard user opens it by launching the program again.
        d.session.spawn([d.app.binary], log=d.session.path("again.log"))
        wait_for(lambda: node("dialog", "Duskwarden"), 10, "the popover's dialog in the application's tree")
        reading = "\n".join("  " * depth + spoken(n) for depth, n in atspi.tree(app.pid))
        d.shots.save("popover.png")
        with open(os.path.join(d.shots.directory, "accessible-tree.txt"), "w") as f:
            f.write(reading + "\n")
        print(reading, flush=True)
        check(focused() == "Warden Mode", f"focus on opening: {focused()!r}")
        # What a screen reader says for the popover as it opens: its state.
        dialog = node("dialog", "Duskwarden")
        check(dialog.getState().contains(pyatspi.STATE_ACTIVE), f"the dialog is not active: {spoken(dialog)}")
        check(dialog.description == "Status: Inactive", spoken(dialog))
        switch = node("check box", "Warden Mode")
        check("labelled by 'Always On Mode'" in spoken(switch), spoken(switch))
        slider = node("slider", "Warmth, Less Warm to More Warm")
        check(slider and slider.childCount == 0, "no single warmth slider")
        value = slider.queryValue()
        check((value.minimumValue, value.maximumValue, value.minimumIncrement) == (0, 100, 5), spoken(slider))
        check(node("label", "Less Warm") is None, "the captions are read apart from the warmth")

        # Tab: the switch, the enabled command button, the warmth, round again.
        for expected in ("Enable Night Shift", "Warmth, Less Warm to More Warm", "Warden Mode", "Enable Night Shift"):
            d.input.key("Tab")
            wait_for(lambda: focused() == expected, 5, f"Tab to {expected!r} (focus on {focused()!r})")
        d.input.key("Return")
        wait_for(lambda: status()["enabled"], 10, "Return on Enable Night Shift")
        # The focus stays with the buttons, on the one that now says the result.
        wait_for(lambda: focused() == "Disable Night Shift", 5, f"focus after Enable: {focused()!r}")
        check(node("push button", "Disable Night Shift").description == "Status: Active",
              spoken(node("push button", "Disable Night Shift")))

        # Keys on the warmth: a burst commits once, after the last key.
        for _ in range(4):
            if focused() == "Warmth, Less Warm to More Warm":
                break
            d.input.key("Tab")
        before = commits()
        d.input.key("End", "Left")
        wait_for(lambda: abs(value.currentValue - 95) < 1e-6, 10, "End, Left to set the strength")
        wait_for(lambda: abs(d.app.sim_state()["strength"] - 0.95) < 1e-6, 10, "the keys' strength on the platform")
        check(commits() == before + 1 and abs(status()["strength"] - 0.95) < 1e-6, f"{commits() - before} calls")
        d.input.key("Home")
        wait_for(lambda: d.app.sim_state()["strength"] == 0, 10, "Home on the platform")

        # Assistive technology sets the value and toggles the switch.
        value.currentValue = 30
        wait_for(lambda: abs(d.app.sim_state()["strength"] - 0.3) < 1e-6, 10, "the value set on the platform")
        check(abs(status()["strength"] - 0.3) < 1e-6 and commits() == before + 3, f"{status()}, {commits()}")
        actions = switch.queryAction()
        actions.doAction(next(i for i in range(actions.nActions) if actions.getName(i) == "Toggle"))
        wait_for(lambda: status()["keepAlwaysOn"], 10, "the Toggle action to set Keep Always On")
        wait_for(lambda: node("check box", "Warden Mode").getState().contains(pyatspi.STATE_CHECKED), 10, "checked")
        check(d.app.wait_for_line(app, "Auto-enable toggled: true", 1), "not the click's path")

        d.input.key("Escape")
        wait_for(lambda: trayui.popover(d, app.pid) is None and node("dialog", "Duskwarden") is None, 10,
                 "Escape to close")


if __name__ == "__main__":
    main(sys.argv[1])
    print("passed")
