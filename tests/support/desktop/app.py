"""The program under test: the duskwarden binary of a build tree, its
simulator tool and state file, its stored setting and autostart entry, and
what its log says."""

import os
import subprocess

from wait import wait_for

BUNDLE_ID = "com.quillmoor.Duskwarden"
STATUS_PREFIX = "Status update - enabled: "
FLOOD_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sim_flood.c")


def find_build_dir(source_dir):
    """$DW_BUILD_DIR, else <source>/build."""
    return os.environ.get("DW_BUILD_DIR") or os.path.join(source_dir, "build")


def read_log(path):
    try:
        with open(path, errors="replace") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def status_updates(lines):
    """[(enabled, strength)] from the manager's "Status update" lines, in order
    (strength None where it could not be read)."""
    found = []
    for line in lines:
        at = line.find(STATUS_PREFIX)
        if at < 0:
            continue
        enabled, _, strength = line[at + len(STATUS_PREFIX):].partition(", strength: ")
        if not strength:
            enabled = enabled.partition(";")[0]
        found.append((enabled == "true", float(strength) if strength else None))
    return found


def error_level(lines):
    """Lines the stderr log sink wrote at error level."""
    return [line for line in lines if "] error: " in line]


class Duskwarden:
    """One build tree's programs, run in `session`."""

    def __init__(self, session, build_dir):
        self.session = session
        self.build_dir = build_dir
        self.binary = os.path.join(build_dir, "bin", "duskwarden")
        self.sim_tool = os.path.join(build_dir, "bin", "duskwarden-nightlight-sim")
        self.defaults_file = os.path.join(session.config, BUNDLE_ID, "defaults.conf")
        self.autostart_dir = os.path.join(session.config, "autostart")
        self.autostart_entry = os.path.join(self.autostart_dir, BUNDLE_ID + ".desktop")
        self.sim_dir = os.path.join(session.runtime, "duskwarden")
        self.sim_state_file = os.path.join(self.sim_dir, "nightlight-sim.state")

    def launch(self, log, backend="sim", extra_env=None, binary=None, args=()):
        """Starts the program (or another `binary`, e.g. a copy) with
        DUSKWARDEN_NIGHTLIGHT_BACKEND=`backend` (None: automatic detection) and
        its stdout and stderr in `log`; returns the process, with .log set."""
        env = dict(extra_env or {})
        if backend is not None:
            env["DUSKWARDEN_NIGHTLIGHT_BACKEND"] = backend
        return self.session.spawn([binary or self.binary, *args], log=log, extra_env=env)

    @staticmethod
    def lines(proc):
        return read_log(proc.log)

    def wait_for_line(self, proc, text, timeout=10.0):
        """The first log line of `proc` containing `text`; None if none came within `timeout`."""
        def find():
            return next((line for line in read_log(proc.log) if text in line), None)
        return wait_for(find, timeout, interval=0.05)

    # -- the stored setting
    def write_defaults(self, auto_enable):
        os.makedirs(os.path.dirname(self.defaults_file), mode=0o700, exist_ok=True)
        with open(self.defaults_file, "w") as f:
            f.write(f"[Defaults]\nautoEnable={'true' if auto_enable else 'false'}\n")

    # -- the simulator
    def sim(self, *args, check=True):
        """Runs the simulator tool (on, off, strength N, status)."""
        return self.session.run([self.sim_tool, *args], check=check)

    def sim_enabled(self):
        return "enabled: on" in self.sim("status").stdout

    def sim_state(self):
        """The simulator's state file as {"enabled", "strength"} (its defaults when absent)."""
        try:
            with open(self.sim_state_file) as f:
                text = f.read()
        except FileNotFoundError:
            return {"enabled": False, "strength": 0.5}
        values = dict(line.split("=", 1) for line in text.split("\n") if "=" in line and not line.startswith("#"))
        return {"enabled": values.get("enabled") == "true", "strength": float(values.get("strength", "0.5"))}

    def build_flood_tool(self):
        """Compiles the state-file flood writer (sim_flood.c) into the session; returns its path.
        Usage: sim_flood DIR WRITES SECONDS FINAL_STRENGTH."""
        out = self.session.path("sim_flood")
        subprocess.run(["cc", "-O2", "-o", out, FLOOD_SOURCE], check=True)
        return out
