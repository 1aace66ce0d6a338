#!/usr/bin/env python3
"""save_anywhere.py -- saves a flight at many moments, loads each save in a fresh run, flies on and
compares with the flight that was never interrupted.

    save_anywhere.py --sim CORVANE_SIM --root ROOT --out DIR [--every S] [--on S] [--to-end N] [--jobs J] SCENARIO...
    save_anywhere.py --core RUN_SCRIPT --root CORE_ROOT --out DIR [--extra LINE]... [options] SCENARIO...

For each scenario (a name under ROOT/Scenarios, with its .inputs beside it):

1. The flight uninterrupted, at a fixed step (the inputs' own `dt` at 0, else 1/60 s: a fixed step
   puts every run on the same grid of frames, so that a flight reloaded at frame n meets the
   uninterrupted one at frame n + k exactly), its timeline kept.
2. The same flight saved at the checkpoints: every S simulated seconds (at most 200 of them; a
   longer flight spaces them out), at every event of the timeline and a frame before and after
   each, and again S_on later for the comparison. Saving must change nothing: the timeline and the
   trajectory of this flight must be those of the first.
3. Each checkpoint's save loaded in a fresh run with the inputs still to come (the pilot engaged
   again if it was, the time acceleration as it was), flown on S_on seconds, and every N-th to the
   flight's end. Compared with the uninterrupted flight at the same frame: the same events at the
   same times (within two frames: a decision taken at a threshold may fall a frame either way),
   every vessel there, and each vessel within the tolerance the saved precision allows (below).

Where the virtual pilot flies by hand (from its engine start to its handing over to the
helicopter's autopilot), its own memory (its collective's trim, its timers) is not part of any save:
the pilot engaged after a reload takes over from what it sees and flies its own way. There the
check is of the outcome: the same vessel events in the same order (its own lines aside), and for
flights to the end both landings within 100 m of the uninterrupted flight's. Everywhere else the
modules fly alone and the check is exact, as follows.

Each scenario is checked twice. With exact saves (corvane-sim --exact-saves: every digit of the
positions, velocities, attitudes and turn rates) the reloaded flight must match to the tolerance
below: anything else is module state that was not saved or not restored. With the host's own
format, which rounds and leaves out a turn rate below 0.0057 deg/s (Vessel.cpp WriteDefault), a
tumbling or entering vessel drifts by metres in a minute of air: there the events and the end of
the flight are checked (the same events in order, landings and places within 100 m, or within the
tolerance below where the flight is long enough for the velocity's rounding to take it further).

A save writes positions to 1 mm (RPOS %.3f), velocities to 0.1 mm/s (RVEL %.4f), landed places to
1e-7 degree (POS %.7f, 1.1 cm) and attitudes to 1e-6 degree; a reloaded flight starts that far off
and drifts by the velocity's rounding over the time flown: under 1 cm after 60 s. The tolerance is
ten times that bound (3 cm + 0.9 mm/s over the time flown), for the closed loops (pilot,
autopilots) that act on what they measure; a module state that was not saved or not restored shows
as metres or as a different event.

In the simulator's own core (--core, its run script; ROOT a root of it with the add-on and the
harness installed) the same check runs on the host's own saves: the checkpoints are the regular
ones only (a core flight takes minutes), the flight with its saves stands for the uninterrupted one
(that saving changes nothing is the stand-in's check), and reloads are flown side by side in copies
of the root (--jobs). --extra adds input lines to the flight (the time acceleration the core's runs
use through the cruise).

Writes DIR/<scenario>/report.txt and prints one line a scenario; exit status 1 on any fault.
"""
import argparse
import concurrent.futures
import math
import os
import queue
import re
import shutil
import subprocess
import sys

FRAME = 1.0 / 60.0
MAX_CHECKPOINTS = 200
# Lines a fresh load writes by itself (the step length and the time acceleration among them: the
# reload is given both again), and lines that are not the flight's own.
LOAD_LINES = re.compile(r"^(created |focus |saved |snapshot |end of run|step length |time acceleration )")
# What a pilot engaged after a reload says as it looks around (the uninterrupted one never does).
TAKEOVER_LINES = re.compile(r"^pilot: (takes the controls|rotor already at speed|finds )")
# Annotations are passing texts: a failed capsule loaded shows its "Chute Failure!" again.
ALWAYS_IGNORED = re.compile(r"^(saved |snapshot |end of run|note shown|note removed)")
EARTH_RADIUS = 6371010.0


class Input:
    def __init__(self, t, verb, rest, raw):
        self.t, self.verb, self.rest, self.raw = t, verb, rest, raw


def read_inputs(path):
    out = []
    if not os.path.exists(path):
        return out
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            w = line.split(None, 2)
            if len(w) < 2:
                continue
            out.append(Input(float(w[0]), w[1].lower(), w[2] if len(w) > 2 else "", line))
    out.sort(key=lambda i: i.t)  # each acts at the first frame at or after its time
    return out


def read_timeline(path):
    events = []
    if os.path.exists(path):
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r"\s*(-?\d+\.\d+)  (.*)$", line.rstrip("\n"))
                if m:
                    events.append((float(m.group(1)), m.group(2)))
    return events


def read_ships(path):
    """name -> {KEYWORD: [words]} of a saved scenario (host and module lines alike)."""
    ships = {}
    if not os.path.exists(path):
        return ships
    cur, inside = None, False
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            s = raw.strip()
            if s == "BEGIN_SHIPS":
                inside = True
            elif s == "END_SHIPS":
                inside = False
            elif inside and cur is None and ":" in s:
                cur = s.split(":", 1)[0]
                ships[cur] = {}
            elif inside and cur is not None:
                if s == "END":
                    cur = None
                elif s:
                    w = s.split()
                    ships[cur][w[0].upper()] = w[1:]
    return ships


def fnum(w):
    try:
        v = float(w)
        return v if math.isfinite(v) else None
    except ValueError:
        return None


def run(args, scenario, inputs_lines, out, until=None):
    if args.core:
        return run_core(args, scenario, inputs_lines, out, until)
    os.makedirs(out, exist_ok=True)
    ipath = os.path.join(out, "inputs.txt")
    with open(ipath, "w") as f:
        f.write("\n".join(inputs_lines) + "\n")
    cmd = [args.sim, "run", scenario, "--root", args.root, "--inputs", ipath, "--out", out, "--dt", "%.17g" % args.step]
    if args.exact:
        cmd.append("--exact-saves")
    if until is not None:
        cmd += ["--until", "%.17g" % until]
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, cwd=out)
    return p.returncode, p.stderr


def run_core(args, scenario, inputs_lines, out, until):
    """The same flight in the simulator's own core, through its run script, in one of the roots
    (a root holds the core's state file and the scenarios it saves, so one flight a root at a
    time). scenario is a name under the root's Scenarios, or a saved file, which is put there. The
    core saves under its root's Scenarios by name: the saves are moved into out/saves after."""
    os.makedirs(out, exist_ok=True)
    root = args.roots.get()
    try:
        scen_dir = os.path.join(root, "Scenarios")
        if os.path.isfile(scenario):
            name = "SA_reload_" + os.path.splitext(os.path.basename(scenario))[0]
            shutil.copyfile(scenario, os.path.join(scen_dir, name + ".scn"))
            scenario = name
        ipath = os.path.join(out, "inputs.txt")
        with open(ipath, "w") as f:
            f.write("\n".join(inputs_lines) + "\n")
        env = dict(os.environ, CORVANE_INPUTS=ipath, CORVANE_OUT=os.path.abspath(out), LD_BIND_NOW="1",
                   RUN_TIMEOUT=str(args.core_timeout))
        with open(os.path.join(out, "core.out"), "w") as o:
            rc = subprocess.call([args.core, root, scenario, "--fixedstep=%.10g" % args.step,
                                  "--maxsimtime=%.10g" % (until + 0.5 * args.step)], stdout=o, stderr=subprocess.STDOUT,
                                 env=env, cwd=out)
        current = os.path.join(scen_dir, "(Current state).scn")
        if os.path.exists(current):
            shutil.copyfile(current, os.path.join(out, "final.scn"))
        for f in os.listdir(scen_dir):
            if f.startswith("SA_at_") and f.endswith(".scn"):
                os.makedirs(os.path.join(out, "saves"), exist_ok=True)
                shutil.move(os.path.join(scen_dir, f), os.path.join(out, "saves", f[3:]))
            elif f.startswith("SA_reload_"):
                os.remove(os.path.join(scen_dir, f))
        err = "" if rc == 0 else "the core's run exited with status %d (%s)" % (rc, os.path.join(out, "core.out"))
        return rc, err
    finally:
        args.roots.put(root)


def save_line(args, n, out):
    """The input that saves the flight at frame n into out/saves/at_<n>.scn (the core saves by name
    under its root; run_core moves the file there)."""
    target = "SA_at_%d" % n if args.core else os.path.join(out, "saves", "at_%d.scn" % n)
    return "%.9f save %s" % (at_frame(n, args.step), target)


def frame_of(t, step):
    """The frame at whose start an input timed t acts (the first at or after t)."""
    return max(0, int(math.ceil((t - 1e-9) / step)))


def at_frame(n, step):
    """An input time that acts at frame n and no other: half a step before it."""
    return max(0.0, n * step - 0.5 * step)


def split_colons(words):
    """Words with "index:value" pairs (PRPLEVEL 0:0.994350) taken apart."""
    out = []
    for w in words:
        out += w.split(":")
    return out


def compare_states(a, b, span, tol):
    """The faults between two saved states: vessels missing, places and velocities beyond the
    tolerance, module lines that differ."""
    faults, worst = [], 0.0
    for name in sorted(set(a) | set(b)):
        if name not in a or name not in b:
            faults.append("%s is %s" % (name, "missing after the reload" if name not in b else "there only after the reload"))
            continue
        la, lb = a[name], b[name]
        for key in sorted(set(la) | set(lb)):
            if key not in la or key not in lb:
                faults.append("%s: line %s %s" % (name, key, "lost" if key not in lb else "appeared"))
                continue
            wa, wb = la[key], lb[key]
            if key in ("RPOS", "RVEL"):
                va, vb = [fnum(x) for x in wa[:3]], [fnum(x) for x in wb[:3]]
                if None in va or None in vb:
                    continue
                d = math.dist(va, vb)
                limit = tol["pos"](span) if key == "RPOS" else tol["vel"]
                if key == "RPOS":
                    worst = max(worst, d)
                if d > limit:
                    faults.append("%s: %s %.4f %s off (tolerance %.4f)" % (name, key, d, "m" if key == "RPOS" else "m/s", limit))
            elif key == "POS":
                va, vb = [fnum(x) for x in wa[:2]], [fnum(x) for x in wb[:2]]
                if None in va or None in vb:
                    continue
                dlng = math.radians(va[0] - vb[0]) * math.cos(math.radians(va[1]))
                d = EARTH_RADIUS * math.hypot(dlng, math.radians(va[1] - vb[1]))
                worst = max(worst, d)
                if d > tol["pos"](span):
                    faults.append("%s: landed %.3f m from where the uninterrupted flight has it (tolerance %.3f)" % (name, d, tol["pos"](span)))
            elif key in ("AROT", "VROT", "ALT", "HEADING"):
                continue  # attitude follows position; the host's own rounding of angles
            else:
                # A module's line: the same words, numbers within a part in a thousand (or 1e-3).
                if len(wa) != len(wb):
                    faults.append("%s: %s %s / %s" % (name, key, " ".join(wa), " ".join(wb)))
                    continue
                for x, y in zip(split_colons(wa), split_colons(wb)):
                    nx, ny = fnum(x), fnum(y)
                    if nx is None or ny is None:
                        if x != y:
                            faults.append("%s: %s %s / %s" % (name, key, " ".join(wa), " ".join(wb)))
                            break
                    elif abs(nx - ny) > 1e-3 * max(1.0, abs(nx), abs(ny)) + 1e-3:
                        faults.append("%s: %s %s / %s" % (name, key, " ".join(wa), " ".join(wb)))
                        break
    return faults, worst


def check_scenario(args, name, exact):
    args.exact = exact
    scenario_path = os.path.join(args.root, "Scenarios", name + ".scn")
    inputs = read_inputs(os.path.join(args.root, "Scenarios", name + ".inputs"))
    step = FRAME
    for i in inputs:
        if i.verb == "dt" and i.t <= 0:
            step = float(i.rest.split()[0])
    args.step = step
    ends = [i.t for i in inputs if i.verb == "end"]
    end_t = ends[0] if ends else 60.0
    n_end = frame_of(end_t, step)
    flight = [i for i in inputs if i.verb not in ("snapshot", "end", "save")]
    flight += [Input(float(x.split()[0]), x.split()[1].lower(), " ".join(x.split()[2:]), x) for x in args.extra]
    flight.sort(key=lambda i: i.t)
    base_lines = [i.raw for i in flight] + ["%.9f end" % at_frame(n_end, step)]
    out = os.path.join(args.out, folder(name), "exact" if exact else "host")
    shutil.rmtree(out, ignore_errors=True)
    report = []
    faults = []

    # 1. Uninterrupted. In the core (minutes a flight) the flight with its saves stands for it: that
    # saving changes nothing is checked in the stand-in, and the core's checkpoints are the regular
    # ones only.
    base_dir = os.path.join(out, "saved" if args.core else "base")
    base_events = []
    if not args.core:
        rc, err = run(args, scenario_path, base_lines, base_dir)
        if rc != 0:
            return ["the uninterrupted flight failed: " + err.strip()], report
        base_events = read_timeline(os.path.join(base_dir, "timeline.txt"))

    # 2. The checkpoints: every S seconds, and around each event.
    every = max(args.every, end_t / MAX_CHECKPOINTS)
    ckpts = set()
    n_every = max(1, int(round(every / step)))
    ckpts.update(range(n_every, n_end, n_every))
    for t, e in base_events:
        if ALWAYS_IGNORED.match(e) or t <= 0:
            continue
        n = int(round(t / step))
        ckpts.update(x for x in (n - 1, n, n + 1) if 0 < x < n_end)
    ckpts = sorted(ckpts)
    n_on = int(round(args.on / step))
    saves = []
    for k, n in enumerate(ckpts):
        saves.append(save_line(args, n, out))
        if n + n_on < n_end:
            saves.append(save_line(args, n + n_on, out))
    os.makedirs(os.path.join(out, "saves"), exist_ok=True)
    rc, err = run(args, scenario_path if not args.core else name, base_lines + saves, os.path.join(out, "saved"),
                  until=n_end * step if args.core else None)
    if rc != 0:
        return ["the flight with its saves failed: " + err.strip()], report
    if args.core:
        for f in os.listdir(os.path.join(out, "saved", "saves")) if os.path.isdir(os.path.join(out, "saved", "saves")) else []:
            shutil.move(os.path.join(out, "saved", "saves", f), os.path.join(out, "saves", f))
        base_events = read_timeline(os.path.join(base_dir, "timeline.txt"))
    saved_events = [(t, e) for t, e in read_timeline(os.path.join(out, "saved", "timeline.txt")) if not ALWAYS_IGNORED.match(e)]
    plain = [(t, e) for t, e in base_events if not ALWAYS_IGNORED.match(e)]
    if saved_events != plain:
        faults.append("saving changed the flight: %s" % first_difference(plain, saved_events))
    for f in ("trajectory.csv", "final.scn"):
        if read(os.path.join(base_dir, f)) != read(os.path.join(out, "saved", f)) and f != "final.scn":
            faults.append("saving changed the flight's %s" % f)

    def exact_pos(span):
        return 0.03 + 0.0009 * span

    tol = {"pos": exact_pos, "vel": 0.05}
    # The outcome's 100 m, and never less than the rounding allows: a coast of weeks drifts by the
    # velocity's rounding times the time flown (437 m after 60 days from L1 approach's first save).
    loose = {"pos": lambda span: max(100.0, exact_pos(span)), "vel": 1e9}
    if not exact:
        tol = loose  # the host's rounding: the outcome only (see the head of this file)
    # Where the pilot flies by hand: from its engine start (or its first sight of a flying
    # helicopter) to its handing over to the autopilot.
    hands = []
    start = None
    for t, e in plain:
        if start is None and re.match(r"^pilot: (key K on .* \(engine start\)|rotor already at speed)", e):
            start = t
        elif start is not None and re.match(r"^pilot: key shift\+G ", e):
            hands.append((start, t))
            start = None
    if start is not None:
        hands.append((start, n_end * step))
    worst_all = 0.0
    to_end = set(ckpts[::args.to_end]) if args.to_end > 0 else set()

    def reload(n):
        """Checkpoint n: its save loaded and flown on; (faults, report line, largest difference where exact)."""
        faults = []
        t0 = n * step
        save = os.path.join(out, "saves", "at_%d.scn" % n)
        if not os.path.exists(save):
            faults.append("no save was written at %.4f s" % t0)
            return faults, None, 0.0
        long_flight = n in to_end
        n_stop = n_end if long_flight or n + n_on >= n_end else n + n_on
        lines = []
        pilots = [i for i in flight if i.verb == "pilot" and frame_of(i.t, step) <= n]
        lines += ["0 %s %s" % (i.verb, i.rest) for i in pilots]
        # A forced random draw is given again: a vessel made anew by the load draws anew (the
        # capsule's chute-failure draw is not saved), and the check is of the rest.
        lines += ["0 rand %s" % i.rest for i in flight if i.verb == "rand" and frame_of(i.t, step) <= n]
        for verb in ("warp", "dt"):
            last = [i for i in flight if i.verb == verb and frame_of(i.t, step) <= n]
            if last:
                lines.append("0 %s %s" % (verb, last[-1].rest))
        for i in flight:
            m = frame_of(i.t, step)
            if m > n or (m == n and i.t > at_frame(n, step)):
                lines.append("%.9f %s %s" % (at_frame(m - n, step), i.verb, i.rest))
        rdir = os.path.join(out, "reload_%d" % n)
        rc, err = run(args, save, lines, rdir, until=(n_stop - n) * step)
        if rc != 0:
            faults.append("%.4f s: the reload failed: %s" % (t0, err.strip()[:200]))
            return faults, None, 0.0
        # The events after the save, in both flights, up to two frames before the reload's end.
        t_stop = n_stop * step - 2 * step
        in_save = set(read_ships(save))
        mine = [(t + t0, e) for t, e in read_timeline(os.path.join(rdir, "timeline.txt"))
                if not (t <= step and LOAD_LINES.match(e) and not created_anew(e, in_save)) and not TAKEOVER_LINES.match(e) and not ALWAYS_IGNORED.match(e)
                and t + t0 <= t_stop]
        # The save comes first in its frame: what that frame does (stamped with its start) follows it.
        theirs = [(t, e) for t, e in plain if t0 - 0.006 < t <= t_stop and not TAKEOVER_LINES.match(e)]  # stamps to 0.01 s
        # The pilot's own timing decides wherever it flies by hand or presses a key in the window.
        by_hand = (any(a < n_stop * step and t0 <= b + 2 * step for a, b in hands) or
                   any(e.startswith("pilot: key ") for _, e in theirs + mine))
        if by_hand:
            theirs = [x for x in theirs if not x[1].startswith("pilot: ")]
            mine = [x for x in mine if not x[1].startswith("pilot: ")]
            diff = event_difference(theirs, mine, 1e9)
        else:
            diff = event_difference(theirs, mine, 2 * step + 0.011)
        if diff:
            faults.append("%.4f s: %s" % (t0, diff))
        ref = os.path.join(base_dir, "final.scn") if n_stop == n_end else os.path.join(out, "saves", "at_%d.scn" % n_stop)
        if (by_hand or not exact) and n_stop != n_end:
            sf, worst = [], 0.0  # flown by hand, or saved in the host's format, and not to the end: the events only
        else:
            sf, worst = compare_states(read_ships(ref), read_ships(os.path.join(rdir, "final.scn")), (n_stop - n) * step,
                                       loose if by_hand else tol)
            if by_hand or not exact:
                sf = [f for f in sf if "RPOS" in f or "landed" in f or "missing" in f or "there only" in f]
        faults += ["%.4f s, %.0f s on: %s" % (t0, (n_stop - n) * step, f) for f in sf]
        line = ("%10.4f s  flown %7.1f s  %-4s  %s largest place difference %.4f m" %
                (t0, (n_stop - n) * step, "ok" if not sf and not diff else "FAIL",
                 "by hand, outcome:" if by_hand else "exact:", worst))
        if not args.keep:
            shutil.rmtree(rdir, ignore_errors=True)
        return faults, line, (0.0 if by_hand else worst)

    # The reloads are independent flights: flown side by side (--jobs), reported in checkpoint order.
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as ex:
        for f, line, worst in ex.map(reload, ckpts):
            faults += f
            if line is not None:
                report.append(line)
            worst_all = max(worst_all, worst)
    report.insert(0, ("exact saves: " if exact else "the host's saves: ") + "%s: %d checkpoints (every %.0f s, and around %d events), step %.6g s, %d flown to the end; "
                  "largest place difference where exact %.4f m" % (name, len(ckpts), every, len(plain), step, len(to_end), worst_all))
    return faults, report


def folder(name):
    return re.sub(r"[^A-Za-z0-9_.-]", "_", name)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return None


def first_difference(a, b):
    for x, y in zip(a, b):
        if x != y:
            return "%.2f %s / %.2f %s" % (x[0], x[1], y[0], y[1])
    return "%d events / %d events" % (len(a), len(b))


def created_anew(event, in_save):
    """A vessel created (or given the focus) in the reloaded flight's first frame that the save did
    not hold: the flight's own event, not the load's."""
    m = re.match(r"^created (.+) \(", event) or re.match(r"^focus (.+)$", event)
    return bool(m) and m.group(1) not in in_save


def shape(text):
    """An event's words with its numbers left out (a touchdown's speed, a landing's place)."""
    return re.sub(r"-?\d+(\.\d+)?", "#", text)


def event_difference(theirs, mine, tol):
    if [shape(e) for _, e in theirs] != [shape(e) for _, e in mine]:
        a, b = [shape(e) for _, e in theirs], [shape(e) for _, e in mine]
        for i, (x, y) in enumerate(zip(a, b)):
            if x != y:
                return "event %d differs: uninterrupted %.2f %s / reloaded %.2f %s" % (i, theirs[i][0], x, mine[i][0], y)
        extra = theirs[len(b):] if len(a) > len(b) else mine[len(a):]
        who = "uninterrupted" if len(a) > len(b) else "reloaded"
        return "only the %s flight has %.2f %s" % (who, extra[0][0], extra[0][1])
    for (ta, e), (tb, _) in zip(theirs, mine):
        # The host reports a vessel landed after 5 s at rest on its points (Vesselbase.cpp,
        # CheckLanded); the test's clock is not saved, so a save taken while it runs starts it again.
        if abs(ta - tb) > (max(tol, 5.0 + 2 * FRAME) if e.startswith("landed ") else tol):
            return "%s at %.2f s, after the reload at %.2f s" % (e, ta, tb)
    return ""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sim")
    ap.add_argument("--root", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--every", type=float, default=20.0)
    ap.add_argument("--on", type=float, default=60.0)
    ap.add_argument("--to-end", type=int, default=10)
    ap.add_argument("--keep", action="store_true", help="keep each reloaded flight's folder")
    ap.add_argument("--jobs", type=int, default=1, help="reloads flown side by side")
    ap.add_argument("--extra", action="append", default=[], help="an input line added to the flight ('60 warp 10')")
    ap.add_argument("--core", help="the core's run script: fly in the simulator's own core, ROOT being its root")
    ap.add_argument("--core-timeout", type=int, default=3600, help="[s] of wall time a core flight may take")
    ap.add_argument("scenarios", nargs="+")
    args = ap.parse_args()
    if not args.core and not args.sim:
        ap.error("--sim or --core is needed")
    args.root, args.out = (os.path.abspath(p) for p in (args.root, args.out))
    if args.sim:
        args.sim = os.path.abspath(args.sim)
    if args.core:
        # One root a job: the core keeps its state file and its saves in its root.
        args.core = os.path.abspath(args.core)
        args.roots = queue.Queue()
        args.roots.put(args.root)
        for j in range(1, max(1, args.jobs)):
            r = "%s.sa%d" % (args.root.rstrip("/"), j)
            shutil.rmtree(r, ignore_errors=True)
            shutil.copytree(args.root, r, symlinks=True)
            args.roots.put(r)
    failed = 0
    for name in args.scenarios:
        # The core writes its own format only: the outcome is checked there, not every digit.
        for exact in ((False,) if args.core else (True, False)):
            faults, report = check_scenario(args, name, exact)
            where = os.path.join(args.out, folder(name), "exact" if exact else "host")
            os.makedirs(where, exist_ok=True)
            with open(os.path.join(where, "report.txt"), "w") as f:
                f.write("\n".join(report + ["", "faults:"] + faults + ([] if faults else ["none"])) + "\n")
            print("%-28s %s  %s" % (name, "pass" if not faults else "FAIL", report[0] if report else ""))
            for x in faults[:20]:
                print("    " + x)
            if len(faults) > 20:
                print("    ... %d more (%s)" % (len(faults) - 20, os.path.join(where, "report.txt")))
            failed += bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
