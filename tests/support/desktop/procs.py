"""Child processes that cannot outlive the fixture.

Each child starts in a process group of its own, so stopping it also stops
what it started (a bus's activated services, a compositor's Xwayland), and
asks the kernel to end it should the harness die without cleaning up.
"""

import ctypes
import os
import signal
import subprocess

from wait import wait_for

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _own_group_die_with_parent():
    # Runs in the child between fork and exec. A group of its own, not a
    # session: a new session would also be a scheduler autogroup, and a
    # program under test would then get CPU its test's other processes lose.
    os.setpgid(0, 0)
    # A later change of user (setpriv) clears this again; such children are
    # still stopped through their group.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def rss_kib(pid):
    """Resident memory of `pid` in KiB, 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except (FileNotFoundError, ProcessLookupError):
        pass
    return 0


class Processes:
    """Starts children and stops every one still running, newest first."""

    def __init__(self):
        self._live = []

    def start(self, argv, env, log=None, **popen):
        """Popen with stdout and stderr into `log` (a path, truncated), or discarded.
        Further keyword arguments go to Popen as they are."""
        out = open(log, "wb") if log else subprocess.DEVNULL
        popen.setdefault("stdout", out)
        popen.setdefault("stderr", subprocess.STDOUT if log else subprocess.DEVNULL)
        try:
            proc = subprocess.Popen([str(a) for a in argv], env=env, preexec_fn=_own_group_die_with_parent, **popen)
        finally:
            if log:
                out.close()
        proc.log = log
        self._live.append(proc)
        return proc

    def stop(self, proc, timeout=5.0):
        """SIGTERM to the child's group, SIGKILL after `timeout` s; returns its status."""
        self._signal_group(proc, signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self._signal_group(proc, signal.SIGKILL)
            proc.wait()
        # What it started may still be cleaning up (an X server removing its
        # lock): give the group a moment, then end whatever is left of it.
        wait_for(lambda: not self._group_alive(proc), 2.0, interval=0.02)
        self._signal_group(proc, signal.SIGKILL)
        if proc in self._live:
            self._live.remove(proc)
        return proc.returncode

    def stop_all(self):
        for proc in reversed(list(self._live)):
            self.stop(proc)

    @staticmethod
    def _signal_group(proc, sig):
        try:
            os.killpg(proc.pid, sig)
        except (ProcessLookupError, PermissionError):
            if proc.poll() is None:
                proc.send_signal(sig)

    @staticmethod
    def _group_alive(proc):
        try:
            os.killpg(proc.pid, 0)
            return True
        except (ProcessLookupError, PermissionError):
            return False

    def __iter__(self):
        return iter(list(self._live))


def groups_alive(pgids):
    """Processes still in any of the process groups `pgids`."""
    alive = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) in pgids and fields[0] != "Z":
            alive.append(int(pid))
    return alive
