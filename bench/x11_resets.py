"""The X11 rows: how soon the screen is warm again after resets that raise
no RandR event, and what staying on costs while idle.

Duskwarden (Keep Always On, X11 backend, the default look interval) runs
beside redshift and gammastep (4500 K, continuous), each alone on the shared
Xvfb, since any two would fight over the ramps. Each phase adds its rows to
the bench table through `bench.row`.
"""

import os
import random
import signal
import statistics
import sys
import time

import measure
from desktop import ramp_tops
from wait import wait_for  # noqa: E402

DW, RS, GS = "Duskwarden", "redshift", "gammastep"
NA = {"minimal Qt tray": "n/a"}
EVENTS_THREAD = "dw-x11-events"  # the X11 backend's event thread, by name
DEFAULT_INTERVAL = 10.0  # DUSKWARDEN_X11_VERIFY_SECONDS unset
PEER_PERIOD = 5.0  # redshift and gammastep rewrite the ramps every 5 s
OWN_DELAYS = 0.1 + 0.5  # the manager's read delay + re-enable delay
SETTLE = 0.25  # the backend's look after an event


def warm(bench):
    ramps = bench.d.xconn.gamma_ramps()
    return bool(ramps) and ramp_tops(ramps)[1] < 0.99


def neutral(bench):
    bench.s.run(["xrandr", "--output", "screen", "--gamma", "1:1:1"])


def start(bench, who, keep_on=True):
    """Starts `who` on neutral ramps; waits until it has warmed them (or, off, for its start-up)."""
    neutral(bench)
    if who == DW:
        p = bench.start_dw("x11", keep_on=keep_on)[0]
    else:
        p = bench.start(who)
    if keep_on and not wait_for(lambda: warm(bench), 10, interval=0.01):
        raise RuntimeError(f"{who} did not warm the screen")
    return p


def latencies(bench, who, trials, trial):
    """Runs `trial()` (which returns the moment to count from) `trials` times; [seconds to warm]."""
    start(bench, who)
    found = []
    for _ in range(trials):
        t0 = trial()
        if wait_for(lambda: warm(bench), 15, interval=0.005):
            found.append(time.monotonic() - t0)
    bench.stop(who)
    return found


def latency_row(bench, metric, results, goal, limit):
    values = dict(NA)
    for who, (lat, n) in results.items():
        values[who] = "never within 15 s" if not lat else (
            f"{statistics.median(lat):.2f} / {measure.percentile(lat, 95):.2f} s"
            + (f" ({len(lat)}/{n} recovered)" if len(lat) != n else ""))
    lat, n = results[DW]
    p95 = measure.percentile(lat, 95) if len(lat) == n else None
    verdict = "missed (not all recovered)" if p95 is None else (
        f"met ({p95:.2f} s)" if p95 <= limit else f"missed ({p95:.2f} s)")
    bench.row(metric, values, goal, verdict)


def gamma_only(bench):
    """Another program sets neutral gamma; no X event follows."""
    trials = {DW: 3 if bench.quick else 12, RS: 1 if bench.quick else 5, GS: 1 if bench.quick else 5}
    print(f"X11 gamma-only reset: {trials[DW]} trials, peers {trials[RS]}", file=sys.stderr, flush=True)
    results = {}
    for who in (DW, RS, GS):
        period = DEFAULT_INTERVAL if who == DW else PEER_PERIOD

        def trial():
            # At a random point of the program's own period, outside the 1.0 s command window.
            time.sleep(random.uniform(1.3, 1.3 + period))
            neutral(bench)
            return time.monotonic()

        results[who] = (latencies(bench, who, trials[who], trial), trials[who])
    latency_row(bench, "X11 gamma-only reset → warm again (median / p95)", results,
                f"p95 ≤ look interval + 1 s ({DEFAULT_INTERVAL + 1:.0f} s)", DEFAULT_INTERVAL + 1)


def blanking_end(bench):
    """The ramps are reset while the screen is blanked; measured from the end of blanking."""
    trials = {DW: 3 if bench.quick else 10, RS: 1 if bench.quick else 5, GS: 1 if bench.quick else 5}
    print(f"X11 blanking end: {trials[DW]} trials, peers {trials[RS]}", file=sys.stderr, flush=True)

    def trial():
        time.sleep(random.uniform(1.3, 1.6))
        bench.s.run(["xset", "s", "activate"])
        time.sleep(0.5)
        neutral(bench)  # as a driver may do while the screen is off
        t0 = time.monotonic()
        bench.s.run(["xset", "s", "reset"])
        return t0

    results = {who: (latencies(bench, who, trials[who], trial), trials[who]) for who in (DW, RS, GS)}
    limit = SETTLE + OWN_DELAYS + 0.15
    latency_row(bench, "X11 blanking end → warm again (median / p95)", results, f"p95 ≤ {limit:.2f} s", limit)


def start_floors(bench):
    """bench/x11-floor's two threads beside Duskwarden's, at the default
    interval: what waking alone, and the smallest look, cost here."""
    if not bench.x11_floor:
        return {}
    ms = str(int(DEFAULT_INTERVAL * 1000))
    floors = {kind: bench.s.spawn([bench.x11_floor, kind, ms]) for kind in ("wake", "look")}
    if not wait_for(lambda: all(measure.thread_named(f.pid, "floor") for f in floors.values()), 5):
        raise RuntimeError("x11-floor did not start")
    return floors


def floor_cpu_ns(p):
    return measure.thread_cpu_ns(p.pid).get(measure.thread_named(p.pid, "floor"), 0)


def look_cost(bench):
    """Wakeups and CPU time of Duskwarden's event thread per look, from a
    window with a look every 0.1 s; (wakeups, microseconds) per look."""
    interval, window = 0.1, 5 if bench.quick else 15
    neutral(bench)
    p, _, _ = bench.start_dw("x11", extra_env={"DUSKWARDEN_X11_VERIFY_SECONDS": str(interval)})
    if not wait_for(lambda: warm(bench), 10, interval=0.01):
        raise RuntimeError("Duskwarden did not warm the screen")
    time.sleep(2)
    events = measure.thread_named(p.pid, EVENTS_THREAD)
    activity = measure.sample_activity([p.pid], window)[p.pid]
    bench.stop(DW)
    looks = window / interval
    return activity.wakeups.of_thread(events) / looks, activity.cpu_ns.of_thread(events) / 1e3 / looks


def idle_costs(bench):
    """Wakeups and CPU over an idle window: on, and off (Keep Always On unset
    and night light off for Duskwarden; toggled off with SIGUSR1 for the peers)."""
    window = 10 if bench.quick else 30  # a multiple of the look interval
    print(f"X11 idle: {window} s windows, and the cost of one look", file=sys.stderr, flush=True)
    per_look_wakeups, per_look_us = look_cost(bench)
    bench.row("X11 cost of one look, one every 0.1 s (Duskwarden's event thread: wakeups / CPU)",
              {**NA, DW: f"{per_look_wakeups:.1f} / {per_look_us:.0f} µs", RS: "n/a", GS: "n/a"}, "", "")
    figures = {}
    for state in ("on", "off"):
        for who in (DW, RS, GS):
            p = start(bench, who, keep_on=state == "on" or who != DW)
            if state == "off" and who != DW:
                os.kill(p.pid, signal.SIGUSR1)
                if not wait_for(lambda: not warm(bench), 10, interval=0.05):
                    raise RuntimeError(f"{who} did not switch off on SIGUSR1")
            time.sleep(3)  # start-up work settles
            events = measure.thread_named(p.pid, EVENTS_THREAD) if who == DW else None
            floors = {}
            if who == DW and state == "on":
                bench.note_gio("x11", p.pid)
                floors = start_floors(bench)
            floor0 = {kind: floor_cpu_ns(f) for kind, f in floors.items()}
            activity = measure.sample_activity([p.pid], window)[p.pid]
            scale = 60 / window
            for kind, f in floors.items():
                figures["floor", kind] = (floor_cpu_ns(f) - floor0[kind]) / 1e6 * scale
                bench.s.stop(f)
            figures[who, state] = {
                "wakeups": activity.wakeups.total() * scale,
                "cpu_ms": activity.cpu_ns.total() / 1e6 * scale,
                "thread_wakeups": activity.wakeups.of_thread(events) * scale if events else None,
                "thread_cpu_ms": activity.cpu_ns.of_thread(events) / 1e6 * scale if events else None,
            }
            bench.stop(who)

    def text(who, state, key, digits, thread_key):
        f = figures[who, state]
        value = f"{f[key]:.{digits}f}"
        if f[thread_key] is not None:
            value += f" (event thread {f[thread_key]:.{digits}f})"
        return value

    for state in ("on", "off"):
        thread = figures[DW, state]["thread_wakeups"]
        if state == "on":
            peers = min(figures[who, "on"]["wakeups"] for who in (RS, GS))
            mine = figures[DW, "on"]["wakeups"]
            goal, verdict = "fewer than every peer", "met" if mine < peers else f"missed ({mine:.1f})"
        else:
            goal, verdict = "0 timer wakeups (event thread 0)", "met" if thread == 0 else f"missed ({thread})"
        bench.row(f"X11 idle wakeups while {state} (per min, all threads)",
                  {**NA, **{who: text(who, state, "wakeups", 1, "thread_wakeups") for who in (DW, RS, GS)}},
                  goal, verdict)
    floor = figures.get(("floor", "look"))
    if floor is not None:
        bench.row("X11 floor on this machine: a bare C thread waking every 10 s / taking the smallest held look "
                  "every 10 s (ms per min, same window)",
                  {**NA, DW: f"{figures['floor', 'wake']:.2f} / {floor:.2f}", RS: "n/a", GS: "n/a"})
    cost = figures[DW, "on"]["thread_cpu_ms"]
    ratio = cost / floor if cost is not None and floor else None
    bench.row("X11 idle CPU time while on (ms per min)",
              {**NA, **{who: text(who, "on", "cpu_ms", 2, "thread_cpu_ms") for who in (DW, RS, GS)}},
              "event thread ≤ 1.25 × the smallest held look (floor row)",
              "unknown: no floor" if ratio is None else
              f"met ({ratio:.2f}×)" if ratio <= 1.25 else f"missed ({ratio:.2f}×)")
