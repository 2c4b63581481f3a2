"""What the benchmarks measure beyond the desktop test fixture
(tests/support/desktop): CPU time (in ns, from schedstat) and wakeups from
/proc, per process and per thread, an inotify counter of the simulator's state-file writes, and
percentiles."""

import ctypes
import ctypes.util
import os
import struct
import time

# ---------------------------------------------------------------- /proc figures

def thread_switches(pid):
    """{tid: voluntary context switches} for every live thread of `pid`."""
    counts = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return counts
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        counts[int(tid)] = int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended meanwhile
    return counts


def thread_cpu_ns(pid):
    """{tid: CPU time in ns} for every live thread of `pid`, from schedstat:
    nanoseconds, where /proc/PID/stat counts in clock ticks (10 ms)."""
    times = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return times
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                times[int(tid)] = int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return times


def thread_named(pid, name):
    """The id of the first thread of `pid` called `name` (its comm), or None."""
    try:
        tids = sorted(os.listdir(f"/proc/{pid}/task"), key=int)
    except FileNotFoundError:
        return None
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                if f.read().strip() == name:
                    return int(tid)
        except (FileNotFoundError, ProcessLookupError):
            pass
    return None


class ThreadCounter:
    """One per-thread figure of a whole process over a window, summed:
    voluntary context switches (wakeups) or CPU time in ns.

    /proc/PID/status counts the main thread only, and a plain sum over
    /proc/PID/task drops the share of threads that exit (the sum can even
    fall). So this keeps one counter per thread id, sampled every `interval`:
    a thread present at the start counts from its first sample, one born later
    counts from zero, and one that exits keeps what its last sample showed.
    The only share missed is a thread's last between its final sample and its
    exit; `exited` says how many threads that could concern.
    """

    def __init__(self, pid, read):
        self.pid = pid
        self.read = read
        self.first = read(pid)
        self.last = dict(self.first)
        self.banked = 0  # the share of threads that have exited
        self.exited = 0

    def sample(self):
        now = self.read(self.pid)
        for tid in [t for t in self.last if t not in now]:
            self.banked += self.last.pop(tid) - self.first.pop(tid)
            self.exited += 1
        for tid, n in now.items():
            if tid not in self.first:
                self.first[tid] = 0  # born during the window
            elif n < self.last[tid]:
                # The id went to a new thread between samples: bank the old one.
                self.banked += self.last[tid] - self.first[tid]
                self.exited += 1
                self.first[tid] = 0
            self.last[tid] = n
        return self.total()

    def total(self):
        return self.banked + sum(self.last[t] - self.first[t] for t in self.last)

    def of_thread(self, tid):
        """The share of one thread that is still alive (0 if unknown)."""
        return self.last.get(tid, 0) - self.first.get(tid, 0)


class Activity:
    """Wakeups and CPU time (ns) of one process, each a ThreadCounter."""

    def __init__(self, pid):
        self.wakeups = ThreadCounter(pid, thread_switches)
        self.cpu_ns = ThreadCounter(pid, thread_cpu_ns)

    def sample(self):
        self.wakeups.sample()
        self.cpu_ns.sample()


def sample_activity(pids, duration, interval=0.25):
    """Samples every pid's Activity for `duration` s; returns {pid: Activity}."""
    counters = {pid: Activity(pid) for pid in pids}
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        time.sleep(min(interval, max(0.0, deadline - time.monotonic())))
        for c in counters.values():
            c.sample()
    return counters


# ---------------------------------------------------------------- inotify

class WriteCounter:
    """Counts replacements (rename into place or close after write) of one file."""

    IN_CLOSE_WRITE = 0x008
    IN_MOVED_TO = 0x080
    IN_NONBLOCK = 0o4000

    def __init__(self, directory, name):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        os.makedirs(directory, exist_ok=True)
        if libc.inotify_add_watch(self.fd, os.fsencode(directory), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")
        self.name = name
        self.count = 0

    def poll(self):
        """Reads pending events; returns the running count."""
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.count
            offset = 0
            while offset < len(data):
                _wd, mask, _cookie, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16: offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                if name == self.name and mask & (self.IN_MOVED_TO | self.IN_CLOSE_WRITE):
                    self.count += 1

    def close(self):
        os.close(self.fd)


def percentile(values, p):
    s = sorted(values)
    if not s:
        return float("nan")
    k = (len(s) - 1) * p / 100
    lo, hi = int(k), min(int(k) + 1, len(s) - 1)
    return s[lo] + (s[hi] - s[lo]) * (k - lo)
