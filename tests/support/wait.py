"""Polling waits for the tests, the demo and the benchmarks: one clock
(time.monotonic) and one poll for every wait.

Put tests/support on PYTHONPATH (CTest does) and `from wait import wait_for`.
"""

import time

POLL = 0.05


class WaitTimeout(AssertionError):
    """A wait that was told what it waits for ran out of time."""


def wait_for(predicate, timeout, what=None, interval=POLL):
    """Polls `predicate` every `interval` s until it returns something true,
    and returns that value. Once `timeout` s have passed: with `what`, raises
    WaitTimeout naming it; without, returns the last (false) value, for
    callers that decide themselves what a miss means."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            if what is None:
                return value
            raise WaitTimeout(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def stays(predicate, duration, interval=POLL):
    """True when `predicate` holds at every poll for `duration` seconds
    (the last poll at the end): a wait for it to fail that must time out."""
    return not wait_for(lambda: not predicate(), duration, interval=interval)
