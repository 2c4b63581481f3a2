#!/usr/bin/env python3
"""Duskwarden against its peers, side by side on one private X server.

Usage: bench.py --build-dir DIR --minimal-tray PATH [--x11-floor PATH] [--quick] [--out FILE]

Every figure printed here is measured in this run; ratios between columns
matter more than absolute values on a shared machine.
"""

import argparse
import datetime
import os
import platform
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "support"))  # the desktop test fixture
import measure  # noqa: E402
import x11_resets  # noqa: E402
from desktop import XDesktop, read_log, rss_kib, status_updates, trayui  # noqa: E402
from desktop.sway import Sway  # noqa: E402
from wait import wait_for  # noqa: E402

DW, MIN, RS, GS = "Duskwarden", "minimal Qt tray", "redshift", "gammastep"
PEERS = [DW, MIN, RS, GS]
STRENGTH_LINE = "Setting color temperature strength to"
# The popover's slider track, relative to the popover window (360 px wide).
SLIDER_Y, SLIDER_X0, SLIDER_X1 = 423, 25, 335
OWN_DELAYS = 0.1 + 0.5  # read after a change callback + re-enable delay


def fmt(v, unit="", digits=2):
    if v is None:
        return "n/a"
    if isinstance(v, float):
        return f"{v:.{digits}f}{unit}"
    return f"{v}{unit}"


class Bench:
    def __init__(self, args):
        self.args = args
        self.quick = args.quick
        self.x11_floor = getattr(args, "x11_floor", None)
        self.d = XDesktop(args.build_dir, artifacts="bench")
        self.s, self.dw = self.d.session, self.d.app
        self.logdir = os.path.join(self.s.root, "logs")
        os.makedirs(self.logdir)
        self.rows = []  # (metric, {peer: text}, goal, verdict)
        self.procs = {}
        self.launches = 0
        self.crashes = []  # last log line of each Duskwarden launch that died
        self.gio = {}  # backend: the GIO/GObject libraries Duskwarden mapped on it

    def start_dw(self, backend="sim", keep_on=True, extra_env=None):
        """Starts Duskwarden and waits for its icon; a launch that dies is counted and retried."""
        for _ in range(10):
            t0 = time.monotonic()
            p = self.start(DW, backend, keep_on, extra_env)
            self.launches += 1
            try:
                found = trayui.wait_for_icon(self.d, p.pid, interval=0.002)
                icon = (found.id, found.centre)
                return p, icon, time.monotonic() - t0
            except TimeoutError:
                if p.poll() is None:
                    raise
                self.crashes.append(f"exit {p.returncode}: " + (read_log(p.log) or ["(no output)"])[-1])
                self.stop(DW)
        raise RuntimeError("Duskwarden died on ten launches in a row")

    # -- program launchers
    def start(self, who, backend="sim", keep_on=True, extra_env=None):
        log = os.path.join(self.logdir, f"{who.replace(' ', '_')}.log")
        if who == DW:
            self.dw.write_defaults(keep_on)
            p = self.dw.launch(log, backend, extra_env)
        elif who == MIN:
            p = self.s.spawn([self.args.minimal_tray], log=log)
        elif who == RS:
            p = self.s.spawn(["redshift", "-m", "randr", "-l", "0:0", "-t", "4500:4500", "-r"], log=log)
        else:
            p = self.s.spawn(["gammastep", "-m", "randr", "-l", "0:0", "-t", "4500:4500", "-r"], log=log)
        self.procs[who] = p
        return p

    def stop(self, who):
        p = self.procs.pop(who, None)
        if p:
            self.s.stop(p)

    def row(self, metric, values, goal="", verdict=""):
        self.rows.append((metric, {k: v for k, v in values.items()}, goal, verdict))
        print(f"  {metric}: " + ", ".join(f"{k}={v}" for k, v in values.items()) + (f"  [{verdict}]" if verdict else ""),
              file=sys.stderr, flush=True)

    # -- phases
    def idle_and_memory(self):
        icons = {DW: self.start_dw()[1][1]}
        for who in (MIN, RS, GS):
            self.start(who)
        icons[MIN] = trayui.wait_for_icon(self.d, self.procs[MIN].pid).centre
        wait_for(lambda: self.dw.sim_state()["enabled"], 5)
        time.sleep(3)  # let start-up work settle
        pids = {w: self.procs[w].pid for w in PEERS}
        rss_start = {w: rss_kib(p) for w, p in pids.items()}
        self.note_gio("sim", pids[DW])
        duration = 10 if self.quick else 60
        print(f"idle: {duration} s", file=sys.stderr, flush=True)
        # Per-thread counters sampled through the window, so threads that end keep their share.
        counters = measure.sample_activity(list(pids.values()), duration)
        scale = 60 / duration
        cpu = {w: counters[p].cpu_ns.total() / 1e6 * scale for w, p in pids.items()}
        wk = {w: counters[p].wakeups.total() * scale for w, p in pids.items()}
        exits = {w: counters[p].wakeups.exited for w, p in pids.items()}
        self.row("Idle CPU time (ms per min)", {w: fmt(cpu[w], digits=3) for w in PEERS}, "0",
                 "met" if cpu[DW] == 0 else f"missed ({cpu[DW]:.3f} ms)")
        self.row("Idle wakeups (per min, all threads)",
                 {w: fmt(wk[w], digits=1) + (f" (≥; {exits[w]} threads ended)" if exits[w] else "") for w in PEERS},
                 "≤ 2", "met" if wk[DW] <= 2 else f"missed ({wk[DW]:.1f})")

        # Popover cycles: a real click on each tray icon opens it, Escape closes
        # it; each step is waited for, and the pointer grab must be released
        # before the next click or that click is lost.
        cycles = 50 if self.quick else 1000
        print(f"popover: {cycles} cycles", file=sys.stderr, flush=True)
        self.cycle_failures = {}
        # The first open builds the popover's widgets (Duskwarden makes them
        # then, not at start): growth after it is what the day adds.
        rss_first_open = {}
        for who in (DW, MIN):
            self.cycle_failures[who] = self.popover_cycles(icons[who], 1)
            rss_first_open[who] = rss_kib(pids[who])
            self.cycle_failures[who] += self.popover_cycles(icons[who], cycles - 1)
        self.d.input.xdotool("mousemove", 640, 700)
        time.sleep(1)
        rss_popover = {w: rss_kib(p) for w, p in pids.items()}

        notifications = 500 if self.quick else 10000
        print(f"notifications: {notifications}", file=sys.stderr, flush=True)
        callbacks0 = self.callbacks()
        # Paced at 1,000 a second: a stream of notifications, not a flood.
        flood = self.dw.build_flood_tool()
        self.s.run([flood, self.dw.sim_dir, str(notifications), str(notifications / 1000), "0.5"])
        wait_for(lambda: status_updates(read_log(self.procs[DW].log))[-1:] == [(True, 0.5)],
                        30, interval=0.1)
        callbacks = self.callbacks() - callbacks0
        time.sleep(2)
        rss_end = {w: rss_kib(p) for w, p in pids.items()}

        mib = lambda k: f"{k / 1024:.1f} MiB"  # noqa: E731
        self.row("RSS after start", {w: mib(rss_start[w]) for w in PEERS}, "≤ 1.00 × minimal Qt tray",
                 self.ratio_verdict(rss_start[DW], rss_start[MIN], 1.00))
        failed = {w: f" ({n} of {cycles} did not open or close)" if n else "" for w, n in self.cycle_failures.items()}
        self.row(f"RSS after {cycles} popover cycles",
                 {w: mib(rss_popover[w]) + failed[w] if w in (DW, MIN) else "n/a" for w in PEERS}, "", "")
        self.row(f"RSS after {cycles} popover cycles + {notifications} status notifications",
                 {w: mib(rss_end[w]) + (f" ({callbacks} change callbacks)" if w == DW else " (none for it)")
                  for w in PEERS}, "≤ 1.05 × minimal Qt tray", self.ratio_verdict(rss_end[DW], rss_end[MIN], 1.05))
        growth = {w: rss_end[w] - rss_start[w] for w in PEERS}
        self.row("RSS growth first → last", {w: f"{growth[w] / 1024:+.2f} MiB" for w in PEERS}, "≤ 1 MiB",
                 "met" if growth[DW] <= 1024 else f"missed ({growth[DW] / 1024:.2f} MiB)")
        later = {w: rss_end[w] - rss_first_open[w] for w in (DW, MIN)}
        self.row("RSS growth after the first popover open → last",
                 {w: f"{later[w] / 1024:+.2f} MiB" if w in later else "n/a" for w in PEERS}, "≤ 1 MiB",
                 "met" if later[DW] <= 1024 else f"missed ({later[DW] / 1024:.2f} MiB)")
        for who in PEERS:
            self.stop(who)

    def callbacks(self):
        return sum("status change detected" in l for l in read_log(self.procs[DW].log))

    def popover_cycles(self, icon, cycles):
        """Opens and closes the popup of the icon at `icon` `cycles` times; returns the failures."""
        x, y = icon
        failures = 0
        for i in range(cycles):
            # Alternate the spot: a press near the last one within the double-click
            # interval is a double click, which a tray icon does not take as a click.
            self.d.input.xdotool("mousemove", x + (4 if i % 2 else -4), y, "click", "1")
            if not wait_for(lambda: self.d.xconn.mapped_popups(300), 3, interval=0.002):
                failures += 1
                self.d.wait_ungrabbed()
                time.sleep(0.45)
                continue
            window = next(iter(self.d.xconn.mapped_popups(300)))
            self.d.input.xdotool("key", "Escape")
            if not wait_for(lambda: not self.d.xconn.viewable(window), 3, interval=0.002):
                failures += 1
            self.d.wait_ungrabbed()
        return failures

    @staticmethod
    def ratio_verdict(value, floor, limit):
        r = value / floor if floor else float("inf")
        return f"met ({r:.2f}×)" if r <= limit else f"missed ({r:.2f}×)"

    def startup(self):
        rounds = 11  # the quick run too: a median of 3 is noise at these sizes
        print(f"start-up: {rounds} rounds", file=sys.stderr, flush=True)
        times = {DW: [], MIN: []}
        for _ in range(rounds):
            t0 = time.monotonic()
            p = self.start(MIN)
            trayui.wait_for_icon(self.d, p.pid, interval=0.002)
            times[MIN].append(time.monotonic() - t0)
            self.stop(MIN)
            time.sleep(0.3)
            times[DW].append(self.start_dw()[2])
            self.stop(DW)
            time.sleep(0.3)
        med = {w: statistics.median(v) for w, v in times.items()}
        self.row("Start-up to icon mapped (median)", {DW: f"{med[DW] * 1000:.0f} ms", MIN: f"{med[MIN] * 1000:.0f} ms",
                                                      RS: "n/a (no icon)", GS: "n/a (no icon)"},
                 "≤ 1.10 × minimal Qt tray", self.ratio_verdict(med[DW], med[MIN], 1.10))

    def reenable_sim(self):
        trials = 5 if self.quick else 30
        print(f"re-enable (simulator): {trials} trials", file=sys.stderr, flush=True)
        p = self.start_dw("sim")[0]
        if not wait_for(lambda: self.dw.sim_state()["enabled"], 5):
            raise RuntimeError("Keep Always On did not turn the simulator on")
        lat = []
        for _ in range(trials):
            time.sleep(random.uniform(1.2, 1.5))  # outside the manager's own 1.0 s window
            t0 = time.monotonic()
            self.dw.sim("off")
            if wait_for(lambda: self.dw.sim_state()["enabled"], 5, interval=0.002):
                lat.append(time.monotonic() - t0)
        self.stop(DW)
        self.latency_row("Re-enable latency, simulator (median / p95)", {DW: (lat, trials)},
                         {MIN: "n/a", RS: "n/a", GS: "n/a"})

    def reenable_x11(self):
        trials = 5 if self.quick else 30
        peer_trials = 1 if self.quick else 5
        cap = 8.0
        print(f"re-enable (X11 gamma): {trials} trials, peers {peer_trials}", file=sys.stderr, flush=True)
        warm = lambda: (g := self.d.gamma()) is not None and g != (1.0, 1.0, 1.0)  # noqa: E731
        results = {}
        # Xvfb has one mode; add a second one of the same size to switch to.
        self.s.run(["xrandr", "--newmode", "dw-alt", "60", "1280", "1281", "1282", "1283", "800", "801", "802", "803"])
        self.s.run(["xrandr", "--addmode", "screen", "dw-alt"])
        for who in (DW, RS, GS):
            self.s.run(["xrandr", "--output", "screen", "--gamma", "1:1:1"], check=False)
            if who == DW:
                self.start_dw("x11")
            else:
                self.start(who)
            if not wait_for(warm, 10, interval=0.01):
                results[who] = ([], 0)
                self.stop(who)
                continue
            lat = []
            for _ in range(trials if who == DW else peer_trials):
                time.sleep(random.uniform(1.2, 1.5))
                t0 = time.monotonic()
                # Another client resets the ramps (no X event), then a RandR
                # change (a mode set, resume or hotplug does the same) follows.
                self.s.run(["xrandr", "--output", "screen", "--gamma", "1:1:1"])
                # A mode switch and back (as a resume or hotplug would do): CRTC
                # changes that a client with RandR events sees.
                self.s.run(["xrandr", "--output", "screen", "--mode", "dw-alt"])
                self.s.run(["xrandr", "--output", "screen", "--mode", "1280x800"])
                if wait_for(warm, cap, interval=0.01):
                    lat.append(time.monotonic() - t0)
            results[who] = (lat, trials if who == DW else peer_trials)
            self.stop(who)
        self.latency_row("Re-enable latency, X11 gamma reset + mode switch (median / p95)", results, {MIN: "n/a"}, cap)

    def latency_row(self, metric, results, extra, cap=5.0):
        """`results`: {peer: (latencies, trials)}."""
        values = dict(extra)
        for who, (lat, n) in results.items():
            if not lat:
                values[who] = f"never within {cap:.0f} s ({n} tried)"
                continue
            values[who] = (f"{statistics.median(lat) * 1000:.0f} / {measure.percentile(lat, 95) * 1000:.0f} ms"
                           + (f" ({len(lat)}/{n} recovered)" if len(lat) != n else ""))
        dw = results.get(DW, ([], 0))[0]
        p95 = measure.percentile(dw, 95) if dw else None
        goal = f"p95 ≤ {(OWN_DELAYS + 0.15) * 1000:.0f} ms"
        verdict = "missed (none recovered)" if p95 is None else (
            f"met ({p95 * 1000:.0f} ms)" if p95 <= OWN_DELAYS + 0.15 else f"missed ({p95 * 1000:.0f} ms)")
        ordered = {w: values.get(w, "n/a") for w in PEERS}
        self.row(metric, ordered, goal, verdict)

    def drag(self):
        events = 200
        print(f"drag: {events} pointer events", file=sys.stderr, flush=True)
        p, (_, (ix, iy)), _ = self.start_dw("sim")
        wait_for(lambda: self.dw.sim_state()["enabled"], 5)
        time.sleep(1.2)
        self.d.input.xdotool("mousemove", ix, iy, "click", "1")
        if not wait_for(lambda: trayui.popover(self.d, p.pid) is not None, 3):
            raise RuntimeError("popover did not open")
        time.sleep(0.5)
        _, px, py, pw, ph = trayui.popover(self.d, p.pid)
        strength = self.dw.sim_state()["strength"]
        y = py + SLIDER_Y
        x_start = px + SLIDER_X0 + round(strength * (SLIDER_X1 - SLIDER_X0))
        counter = measure.WriteCounter(self.dw.sim_dir, "nightlight-sim.state")
        lines0 = sum(STRENGTH_LINE in l for l in read_log(p.log))
        cpu = measure.ThreadCounter(p.pid, measure.thread_cpu_ns)
        cmd = ["mousemove", x_start, y, "mousedown", "1"]
        for i in range(events):
            # Sweep left and right across the track so every event moves the knob.
            phase = i % 100
            frac = phase / 100 if (i // 100) % 2 == 0 else 1 - phase / 100
            cmd += ["mousemove", px + SLIDER_X0 + round(frac * (SLIDER_X1 - SLIDER_X0)), y, "sleep", "0.004"]
        self.d.input.xdotool(*cmd)
        time.sleep(0.5)
        during_calls = sum(STRENGTH_LINE in l for l in read_log(p.log)) - lines0
        during_writes = counter.poll()
        cpu_drag = cpu.sample() / 1e9
        self.d.input.xdotool("mouseup", "1")
        time.sleep(1.0)
        end_calls = sum(STRENGTH_LINE in l for l in read_log(p.log)) - lines0 - during_calls
        end_writes = counter.poll() - during_writes
        counter.close()
        self.stop(DW)
        na = {MIN: "n/a (no slider)", RS: "n/a", GS: "n/a"}
        self.row("Drag: provider calls during a 200-event drag (log lines / state writes)",
                 {DW: f"{during_calls} / {during_writes}", **na}, "0",
                 "met" if during_calls == 0 and during_writes == 0 else "missed")
        self.row("Drag: provider calls at its end (log lines / state writes)",
                 {DW: f"{end_calls} / {end_writes}", **na}, "exactly 1",
                 "met" if end_calls == 1 and end_writes == 1 else "missed")
        self.row("Drag: CPU time per pointer event", {DW: f"{cpu_drag / events * 1000:.2f} ms", **na}, "", "")
        self.row("Drag: view re-layouts", {DW: "not measured", **na}, "≤ 1 per frame",
                 "unknown: no outside view of re-layouts")

    # X11 resets without a RandR event, and the idle cost of looking for them (bench/x11_resets.py)
    def x11_gamma_only(self):
        x11_resets.gamma_only(self)

    def x11_blanking_end(self):
        x11_resets.blanking_end(self)

    def x11_idle(self):
        x11_resets.idle_costs(self)

    def note_gio(self, backend, pid):
        """Records which of GIO and GObject the running program maps on `backend`."""
        with open(f"/proc/{pid}/maps") as f:
            maps = f.read()
        self.gio[backend] = [lib for lib in ("libgio-2.0", "libgobject-2.0") if f"/{lib}" in maps]

    def wlroots_maps(self):
        """Duskwarden on sway's wlroots backend (its window on the bench's X server): what it maps."""
        saved = dict(self.s.env)
        sway = Sway(self.s)
        try:
            p = self.start(DW, backend="wlroots")
            if not self.dw.wait_for_line(p, "Using the wlroots backend"):
                raise RuntimeError("the wlroots backend was not chosen: " + (read_log(p.log) or ["(no output)"])[-1])
            self.note_gio("wlroots", p.pid)
            self.stop(DW)
        finally:
            sway.close()
            self.s.env.clear()
            self.s.env.update(saved)

    def gio_row(self):
        order = ("x11", "wlroots", "sim")
        text = " / ".join(", ".join(self.gio[b]) or "no" if b in self.gio else "not measured" for b in order)
        clean = all(b in self.gio and not self.gio[b] for b in order)
        self.row("GIO/GObject mapped on X11 / wlroots / sim", {DW: text}, "no / no / no",
                 "met" if clean else "missed" if any(self.gio.get(b) for b in order) else "unknown")

    # -- output
    def table(self):
        head = ["Metric", *PEERS, "Goal (Duskwarden)", "Verdict"]
        lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
        for metric, values, goal, verdict in self.rows:
            lines.append("| " + " | ".join([metric, *[values.get(w, "n/a") for w in PEERS], goal, verdict]) + " |")
        return "\n".join(lines)


def machine():
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{os.cpu_count()} CPUs ({model}), Linux {platform.release()}"


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--minimal-tray", required=True)
    ap.add_argument("--x11-floor", help="bench/x11-floor.c built: the X11 rows' floor on this machine")
    ap.add_argument("--quick", action="store_true", help="short durations for a smoke run")
    ap.add_argument("--out", help="also write the table as markdown here")
    args = ap.parse_args()
    for tool in ("redshift", "gammastep", "Xvfb", "trayer", "xdotool", "xrandr", "xset"):
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            sys.exit(f"bench: {tool} is not installed")
    bench = Bench(args)
    try:
        for phase in (bench.idle_and_memory, bench.startup, bench.reenable_sim, bench.reenable_x11,
                      bench.x11_gamma_only, bench.x11_blanking_end, bench.x11_idle, bench.drag,
                      bench.wlroots_maps):
            try:
                phase()
            except (RuntimeError, TimeoutError) as e:
                # One broken phase must not hide the others' figures.
                bench.row(f"{phase.__name__}: not measured", {DW: str(e)}, "", "failed")
                for who in list(bench.procs):
                    bench.stop(who)
    finally:
        bench.d.close()
    bench.gio_row()
    bench.row("Launches that died before showing the icon", {DW: f"{len(bench.crashes)} of {bench.launches}"}, "0",
              "met" if not bench.crashes else "missed: " + "; ".join(sorted(set(bench.crashes))))
    stamp = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    mode = "quick smoke run" if args.quick else "full run"
    header = (f"Duskwarden benchmarks, {stamp}, {mode}\n\nMachine: {machine()}\n\n"
              "Duskwarden runs with Keep Always On set, on the simulator backend except in the X11 rows; "
              "there it runs alone with each peer in turn, off only where a row says so.\n")
    text = header + "\n" + bench.table() + "\n"
    print(text)
    if args.out:
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        with open(args.out, "w") as f:
            f.write(text)
    missing = [r for r in bench.rows if r[0].startswith("Re-enable") and "none recovered" in r[3]]
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
