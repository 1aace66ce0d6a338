#!/usr/bin/env python3
"""compare.py -- flies each scenario in the stand-in with the inputs the core was given and sets the
two flights side by side.

    compare.py --sim corvane-sim --addon ROOT --core-runs DIR --out DIR [--probes DIR] [SCENARIO ...]

The core's flights are those `fly.py` wrote into --core-runs (each folder's inputs.txt is what the
core's harness played: the scenario's inputs, the plan's step, time acceleration, saves and end). The
stand-in flies the same scenario file with the same inputs at the same fixed step (`--dt`, as the
core's `--fixedstep`) into OUT/<scenario>/sim/, and OUT/<scenario>.txt gets: the events side by side
with their times, the largest position, velocity and attitude differences at the common checkpoints
(the trajectory's rows of one simulated second), the final saved lines that differ, and a verdict
against the scenario's tolerances. OUT/summary.txt is the table of all of them. Exit status 1 when a
scenario disagrees beyond its tolerances or a flight is missing.
"""
import argparse
import math
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fly  # noqa: E402  (the core's runner: plans, readers)

R_EARTH = fly.EARTH_RADIUS

# The short probe flights (`compare` with no scenario) and the whole set (`compare all`).
SHORT = ["Blank vessel", "Drop warp 10", "Drop warp 100", "Save every class", "Release in flight", "Bus landing"]
ALL = ["Bus cruise", "Descent", "Chute failure", "Parafoil glide", "Catch", "L1 approach", "Mission"] + SHORT


class Tol:
    """The tolerances of one scenario, each with the physics it comes from."""

    def __init__(self, event, pos, vel, att, why, event_why, ignore=()):
        self.event = event        # [s] an event's time, beyond one step
        self.pos = pos            # [m] a vessel's place (over the ground and in height) at a checkpoint
        self.vel = vel            # [m/s] ground speed, vertical speed, airspeed at a checkpoint
        self.att = att            # [deg] pitch, bank, heading at a checkpoint
        self.why = why            # where pos, vel, att come from
        self.event_why = event_why
        self.ignore = set(ignore)  # vessels whose rows are not judged (say why in `why`)


# A frame-timed input acts at the first frame at or after its time in both hosts: keys, focus, warp and
# the vessels a key creates agree to one step. Events that wait on the flight (a height crossed, a
# catch, a landing) move with the flight's differences, as below.
TOLERANCES = {
    # 60 s in orbit: gravity of the same point mass (the core's J2 is off by default), no atmosphere at
    # 275 km worth a millimetre a second; the integrators differ by micrometres per step: a metre and a
    # centimetre a second.
    "Bus cruise": Tol(0.02, 1.0, 0.01, 0.5,
                      "orbit for 60 s: the same gravity, no air: integrators' differences only (1 m, 1 cm/s)",
                      "only keys and the capsule the release key makes: one step"),
    # Entry from orbit: the drag decelerates 10 km/s to 100 m/s over a few minutes; the two hosts'
    # atmospheres agree within a percent and the integrators evaluate it differently (held over the
    # frame in the core), so the deceleration's timing moves by a percent of the entry's 300 s:
    # 3 s on the heights' crossings, kilometres along the track at 7 km/s until the drogue.
    "Descent": Tol(3.0, 25000.0, 150.0, 20.0,
                   "entry: a percent of drag over 300 s at up to 10 km/s moves the track by kilometres; "
                   "under the chutes the speeds agree to metres a second",
                   "crossings of 20 km and 6.7 km: 1 % of the entry's 300 s"),
    "Chute failure": Tol(3.0, 25000.0, 150.0, 30.0,
                         "as the descent; a capsule falling at terminal speed with no chute hits the ground "
                         "within seconds of the other host",
                         "1 % of the 300 s entry, and the fall's few seconds"),
    # Under the parafoil: 8 m/s forward, 4 m/s down; a percent of lift or drag over 900 s: 70 m, a
    # landing a few seconds apart.
    "Parafoil glide": Tol(10.0, 150.0, 1.0, 5.0,
                          "a glide at 8 m/s forward: 1 % of 900 s of flight (70 m), 1 m/s",
                          "a landing after 900 s of sinking at 4 m/s: 1 % of the time"),
    # The helicopter flown by the pilot and the autopilot to the capsule and home: closed loops damp the
    # differences, the catch waits on a position window of 4 m: a second; the landings a few.
    "Catch": Tol(3.0, 300.0, 3.0, 10.0,
                 "closed-loop flight to a moving capsule and home at 40 m/s: the laws hold the track to "
                 "a few hundred metres; the Earth's turn is the same in both hosts",
                 "the catch within a second of the pilot's approach, the release and landings a few s"),
    # Sixty days toward L1 at 600 s steps: the Sun's and Moon's places (the stand-in's series against
    # the core's VSOP87 and ELP) differ by 100-400 km; over 60 days the spacecraft drifts with them.
    # The rows' speeds are over the turning Earth (or Moon) 1.5 million km out, where a place 2000 km
    # off moves with the ground at 7.29e-5 rad/s x 2000 km = 146 m/s: 150 m/s.
    "L1 approach": Tol(600.0, 2.0e6, 150.0, 180.0,
                       "two ephemerides 100-400 km apart pull the spacecraft apart over 60 days: 2000 km; "
                       "speeds over the Earth turning under a place 2000 km off: 150 m/s",
                       "one 600 s step", ignore=()),
    "Mission": Tol(3.0, 25000.0, 150.0, 30.0,
                   "as the descent until the catch (the entry sets the capsule's landing place), as the "
                   "catch after it",
                   "the entry's 1 % on the heights, a second on the catch, seconds on the landings"),
    # Probe flights: short, on the ground or falling under a chute; the differences are the ones the
    # probe is about.
    "Blank vessel": Tol(0.02, 1.0, 0.05, 0.5,
                        "a vessel that sets nothing, spinning, in orbit for 20 s: the defaults decide its "
                        "rotational damping and its drag: they agree or the attitude parts",
                        "no events but the end"),
    "Drop warp 10": Tol(3.0, 50.0, 1.0, 5.0,
                        "the capsule under its drogue from 12 km at ten times: 1 % of the fall's speed",
                        "a landing after 15 min of falling: 1 % of the time"),
    "Drop warp 100": Tol(10.0, 200.0, 3.0, 10.0,
                         "as at ten times with 1.7 s steps: the hosts' integrators part more",
                         "a landing after 15 min of falling at 1.7 s steps"),
    "Save every class": Tol(0.02, 0.5, 0.05, 0.5,
                            "every class landed and flying for 10 s: the placements and their reload",
                            "no events but the save"),
    "Bus landing": Tol(1.0, 1.0, 1.0, 5.0,
                       "the bus's fall of 5 s in the same air and its stop in the ground: a metre, a metre "
                       "a second",
                       "the landing 5 s after the rest, which the impact's bounce or sinking moves"),
    "Release in flight": Tol(0.5, 1.0, 0.2, 2.0,
                             "a release 30 m over the heliport: the capsule falls 14 m onto its points",
                             "the release by key: one step; the landing within half a second"),
}


def event_key(text):
    """What an event is without its numbers: the key that pairs it across hosts."""
    m = re.match(r"(landed \S+)( at .*| \(touchdown .*)?$", text)
    if m:
        return m.group(1)
    if text.startswith("step length") or text.startswith("snapshot ") or text.startswith("harness") or text.startswith("saved ") or \
            text.startswith("save:"):
        return None
    if text.startswith("note shown:") or text.startswith("note removed:"):
        return None  # a module's screen note: the stand-in sees it, the core's harness cannot (no API reads it)
    if text.startswith("pilot:") and re.search(r"\d", text) and not re.search(r"key ", text):
        return None  # the pilot's running notes (distances) differ by their numbers only
    return text


def pair_events(core, sim):
    """Events paired by their key, in order of occurrence: (key, t_core or None, t_sim or None, text)."""
    def keyed(evs):
        out = []
        for t, e in evs:
            k = event_key(e)
            if k is not None:
                out.append((t, k, e))
        return out
    c, s = keyed(core), keyed(sim)
    used, pairs = set(), []
    for tc, k, e in c:
        match = None
        for j, (ts, ks, es) in enumerate(s):
            if j not in used and ks == k:
                match = j
                break
        if match is None:
            pairs.append((k, tc, None, e))
        else:
            used.add(match)
            pairs.append((k, tc, s[match][0], e))
    for j, (ts, ks, es) in enumerate(s):
        if j not in used:
            pairs.append((ks, None, ts, es))
    return pairs


def read_rows(path):
    """trajectory.csv: {vessel: {time: row}} with the attitude columns when the file has them."""
    rows = {}
    if not os.path.exists(path):
        return rows
    with open(path, encoding="utf-8", errors="replace") as f:
        head = next(f, "").strip().split(",")
        for line in f:
            p = line.rstrip("\n").split(",")
            if len(p) != len(head) or len(p) < 8:
                continue
            try:
                r = {h: (float(x) if h not in ("vessel", "body") else x) for h, x in zip(head, p)}
            except ValueError:
                continue
            rows.setdefault(r["vessel"], {})[round(r["time"], 2)] = r
    return rows


def earth_fixed(r):
    lat, lng = math.radians(r["latitude"]), math.radians(r["longitude"])
    rad = R_EARTH + r["altitude"]
    return (rad * math.cos(lat) * math.cos(lng), rad * math.sin(lat), rad * math.cos(lat) * math.sin(lng))


def place_difference(a, b):
    """[m] between two rows' places in the Earth-fixed frame (from latitude, longitude, altitude)."""
    return math.dist(earth_fixed(a), earth_fixed(b))


def angle_difference(a, b):
    d = (a - b) % 360.0
    return min(d, 360.0 - d)


# Earth's gravitational parameter [m^3/s^2] (the core's Earth.cfg): a vessel near Earth faster than
# its escape speed sqrt(2 mu / r) at its place was thrown out by the integrator, not by any force of
# the mission (the fastest thing in it is the entry at 7.8 km/s, below the 11 km/s escape speed).
MU_EARTH = 3.986004418e14


def diverged_at(rows):
    """The first row's time at which a vessel moves faster than the escape speed at its place over
    the Earth: the integrator has blown up (stiff loads beyond its step); None when it never does."""
    near = False
    for t in sorted(rows):
        r = rows[t]
        speed = math.hypot(r["ground_speed"], r["vertical_speed"])
        rad = R_EARTH + r["altitude"]
        # Near the Earth only, where a row's place and speeds are over the Earth (a vessel far out
        # on its way to L1 is given over the Moon when that is closer, at speeds over its surface);
        # a vessel near it in one row and beyond two radii in the next has left faster than that.
        if near and rad >= 2.0 * R_EARTH:
            return t
        near = 0.5 * R_EARTH < rad < 2.0 * R_EARTH
        if near and speed > math.sqrt(2.0 * MU_EARTH / rad):
            return t
        if not all(math.isfinite(r[k]) for k in ("altitude", "ground_speed", "vertical_speed")):
            return t
    return None


def horizon_axes(r):
    """The vessel's forward and up axes in the local horizon frame (east, up, north) from a row's
    heading, pitch and bank (the host's GetPitch, GetBank, heading: the nose's elevation, the roll
    about it, the nose's azimuth from north)."""
    h, p, b = (math.radians(r[k]) for k in ("heading", "pitch", "bank"))
    fwd = (math.cos(p) * math.sin(h), math.sin(p), math.cos(p) * math.cos(h))
    # Level (bank 0) "up" is the horizon's up tilted back by the pitch; the bank turns it about fwd.
    up0 = (-math.sin(p) * math.sin(h), math.cos(p), -math.sin(p) * math.cos(h))
    right0 = (fwd[1] * up0[2] - fwd[2] * up0[1], fwd[2] * up0[0] - fwd[0] * up0[2], fwd[0] * up0[1] - fwd[1] * up0[0])
    up = tuple(math.cos(b) * u + math.sin(b) * q for u, q in zip(up0, right0))
    return fwd, up


def attitude_difference(a, b):
    """[deg] the angle of the turn that takes one row's attitude into the other's. Pitch, bank and
    heading each differ wildly near a vertical nose (bank and heading are then one turn, split at
    random), which the turn between the two attitudes does not."""
    fa, ua = horizon_axes(a)
    fb, ub = horizon_axes(b)
    def cross(x, y):
        return (x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0])
    ra, rb = cross(fa, ua), cross(fb, ub)
    # trace of Ra^T Rb = 1 + 2 cos(angle), columns forward, up, right
    tr = sum(x * y for x, y in zip(fa, fb)) + sum(x * y for x, y in zip(ua, ub)) + sum(x * y for x, y in zip(ra, rb))
    return math.degrees(math.acos(max(-1.0, min(1.0, 0.5 * (tr - 1.0)))))


def compare_rows(core, sim, tol, until=None):
    """Per vessel: the largest place, velocity and attitude differences over the common rows."""
    out = []
    for name in sorted(set(core) & set(sim)):
        # The rows fall on the first frame at or after each second: where the hosts' steps differ
        # (time acceleration ramps in the core) the stand-in's rows are read between at the core's times.
        st = sorted(sim[name])
        pairs = []
        for t in sorted(core[name]):
            if until is not None and t >= until.get(name, math.inf):
                break
            if t in sim[name]:
                pairs.append((t, sim[name][t]))
                continue
            i = next((k for k in range(1, len(st)) if st[k - 1] <= t <= st[k]), None)
            if i is None:
                continue
            a0, a1 = sim[name][st[i - 1]], sim[name][st[i]]
            f = (t - st[i - 1]) / (st[i] - st[i - 1])
            near = a0 if f < 0.5 else a1
            pairs.append((t, {k: (a0[k] + f * (a1[k] - a0[k]) if k in ("altitude", "latitude", "longitude",
                                  "ground_speed", "vertical_speed", "airspeed") else near[k]) for k in a0}))
        times = [t for t, _ in pairs]
        if not times:
            continue
        worst = {"pos": (0.0, None), "vel": (0.0, None), "att": (0.0, None)}
        apart = []  # rows one host gives over another body: at a crossing of the Earth's and the Moon's
        for t, b in pairs:
            a = core[name][t]
            if a.get("body") and b.get("body") and a["body"] != b["body"]:
                apart.append(t)
                continue
            d = place_difference(a, b)
            dv = max(abs(a[k] - b[k]) for k in ("ground_speed", "vertical_speed", "airspeed"))
            da = None
            if "pitch" in a and "pitch" in b:
                da = attitude_difference(a, b)
            for k, x in (("pos", d), ("vel", dv), ("att", da)):
                if x is not None and x >= worst[k][0]:
                    worst[k] = (x, t)
        out.append((name, len(times), worst, apart))
    return out


HOST_LINES = {"RCSMODE", "STATUS", "RPOS", "RVEL", "POS", "HEADING", "ALT", "AROT", "VROT", "AFCMODE", "PRPLEVEL",
              "ATTACHED", "NAVFREQ", "XPDR", "FLIGHTDATA", "DOCKINFO", "IDS", "THLEVEL"}


def compare_final(core_scn, sim_scn):
    """The saved lines that differ: [(vessel, keyword, core, sim)]; a vessel in one file only too."""
    cs, _ = fly.read_ships(core_scn)
    ss, _ = fly.read_ships(sim_scn)
    diffs = []
    for name in sorted(set(cs) | set(ss)):
        if name not in cs or name not in ss:
            diffs.append((name, "(vessel)", "present" if name in cs else "absent", "present" if name in ss else "absent"))
            continue
        lc, ls = cs[name]["lines"], ss[name]["lines"]
        for k in sorted(set(lc) | set(ls)):
            if lc.get(k) != ls.get(k):
                diffs.append((name, k, lc.get(k), ls.get(k)))
    return diffs, cs, ss


def final_verdict_lines(diffs):
    """The saved differences that count against the flight: the module's own lines and the status
    (where a vessel is, its attitude and speed are the checkpoints' business)."""
    bad = []
    for name, k, c, s in diffs:
        if k == "(vessel)":
            bad.append((name, k, c, s))
        elif k == "STATUS" and (c or "").split()[:1] != (s or "").split()[:1]:
            bad.append((name, k, c, s))
        elif k not in HOST_LINES and k != "STATUS":
            # A module's own line: its words must agree; numbers within 1 % (a moving part's state).
            wc, ws = (c or "").split(), (s or "").split()
            if len(wc) != len(ws):
                bad.append((name, k, c, s))
                continue
            for x, y in zip(wc, ws):
                try:
                    fx, fy = float(x), float(y)
                    if abs(fx - fy) > 0.01 * max(1.0, abs(fx)) and not (abs(fx) < 1e-3 and abs(fy) < 1e-3):
                        bad.append((name, k, c, s))
                        break
                except ValueError:
                    if x != y:
                        bad.append((name, k, c, s))
                        break
    return bad


def divergence(cr, sr, tol, plan, lines, problems):
    """Each vessel's blow-up in each host (diverged_at), written to lines, a mismatch to problems.
    Returns ({vessel: the earlier onset} for those thrown out in both, the earliest onset or None)."""
    until = {}
    for name in sorted(set(cr) | set(sr)):
        tc = diverged_at(cr.get(name, {}))
        ts = diverged_at(sr.get(name, {}))
        if tc is None and ts is None:
            continue
        if not any(x.startswith("divergence (") for x in lines):
            lines.append("")
            lines.append("divergence (a vessel beyond the escape speed: the integrator thrown out by stiff loads):")
        if tc is None or ts is None:
            lines.append("  %-22s in the %s only, at %.2f s  <<" % (name, "core" if ts is None else "stand-in",
                                                                   tc if ts is None else ts))
            problems.append("%s thrown out by the integrator in the %s only" % (name, "core" if ts is None else "stand-in"))
            continue
        last_c, last_s = cr[name][max(cr[name])], sr[name][max(sr[name])]
        vc = math.hypot(last_c["ground_speed"], last_c["vertical_speed"])
        vs = math.hypot(last_s["ground_speed"], last_s["vertical_speed"])
        stays = all(v > math.sqrt(2.0 * MU_EARTH / (R_EARTH + max(0.0, r["altitude"])))
                    for v, r in ((vc, last_c), (vs, last_s)))
        late = abs(ts - tc) > tol.event + plan.step + 1e-6
        lines.append("  %-22s core %.2f s, stand-in %.2f s (%+.2f s); at the end %.4g m/s | %.4g m/s%s%s" % (
            name, tc, ts, ts - tc, vc, vs, "  << onset beyond %.2f s" % tol.event if late else "",
            "" if stays else "  << came back below the escape speed"))
        if late:
            problems.append("%s thrown out at %.2f s in the core, %.2f s in the stand-in" % (name, tc, ts))
        if not stays:
            problems.append("%s: a divergence that ends in one host" % name)
        until[name] = min(tc, ts)
    return until, (min(until.values()) if until else None)


def scenario_file(args, name):
    p = os.path.join(args.addon, "Scenarios", "Corvane", name + ".scn")
    if os.path.exists(p):
        return p
    return os.path.join(args.probes, name + ".scn")


def scenario_mjd(path):
    """The date of a scenario file (BEGIN_ENVIRONMENT's `Date MJD`), None without one."""
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"\s*Date\s+MJD\s+([-+0-9.eE]+)", line)
            if m:
                return float(m.group(1))
    return None


def core_save_time(core_dir, scenario_path):
    """[s] the simulation time of the core's final save (final.scn), from its date and the
    scenario's; None when either has none. The core's session limit is read after each frame
    (Orbiter.cpp SessionLimitReached, at td.SimT0 >= the --maxsimtime fly.py gives, the end plus half
    a step), so the frame that starts at the end is flown and the save stands one step later."""
    start, end = scenario_mjd(scenario_path), scenario_mjd(os.path.join(core_dir, "final.scn"))
    if start is None or end is None:
        return None
    return (end - start) * 86400.0


def end_where_core_saved(text, until, t_save):
    """The stand-in's inputs ending where the core's save stands: its `end` moved to just under
    t_save (the stand-in stops at the first frame that starts at or after it, as the core stopped
    after the frame ending there), and the time to fly to. A save at or before the end changes
    nothing. The dates keep 1e-10 day (9 microseconds): 1 ms under it is within the frame's end."""
    if t_save is None or t_save <= until + 1e-3:
        return text, until
    t_end = t_save - 1e-3
    text = re.sub(r"^(\s*)[\d.e+]+(\s+end\s*)$", lambda m: "%s%.17g%s" % (m.group(1), t_end, m.group(2)), text,
                  flags=re.M)
    return text, t_save


def fly_sim(args, name, core_dir, out):
    """The stand-in flight: the core's scenario, inputs and step, flown to where the core's final
    save stands (at a 600 s step the L1 approach's last frame moves the bus 17 800 km)."""
    os.makedirs(out, exist_ok=True)
    inputs = os.path.join(core_dir, "inputs.txt")
    plan = fly.PLANS[name]
    until = plan.until if plan.until is not None else fly.end_time(open(inputs).read())
    # The stand-in saves a `save NAME` input as the file NAME in its output folder.
    text = open(inputs).read()
    text = re.sub(r"^(\s*[\d.e+]+\s+save\s+)(\S+)\s*$", lambda m: m.group(1) + m.group(2) + ".scn", text, flags=re.M)
    # The core's step is fixed for the session (its --fixedstep, the plan's step): its harness ignores
    # a `dt` input, so the stand-in must too, or it flies another step (the L1 approach's own 10 s
    # against the core's 600 s).
    text = re.sub(r"^(\s*[\d.e+]+\s+dt\s+\S+.*)$", r"# \1  (the plan's step instead)", text, flags=re.M)
    text, until = end_where_core_saved(text, until, core_save_time(core_dir, scenario_file(args, name)))
    sim_inputs = os.path.join(out, "inputs.txt")
    with open(sim_inputs, "w") as f:
        f.write(text)
    cmd = [args.sim, "run", scenario_file(args, name), "--root", args.addon, "--inputs", sim_inputs,
           "--dt", "%.17g" % plan.step, "--until", "%.10g" % until, "--out", out]
    with open(os.path.join(out, "sim.out"), "w") as o:
        rc = subprocess.call(cmd, stdout=o, stderr=subprocess.STDOUT)
    return rc


def fmt_t(t):
    return "%9.2f" % t if t is not None else "        -"


def compare_one(args, name):
    core_dir = os.path.join(args.core_runs, name)
    out = os.path.join(args.out, name)
    sim_dir = os.path.join(out, "sim")
    tol = TOLERANCES[name]
    plan = fly.PLANS[name]
    lines, problems = [], []
    lines.append("%s: the core's flight (%s) against the stand-in's (%s), step %.6g s" % (name, core_dir, sim_dir, plan.step))
    if not os.path.exists(os.path.join(core_dir, "inputs.txt")):
        return name, None, ["no flight of the core in %s (./corvane.sh real-core %r)" % (core_dir, name)], lines
    rc = fly_sim(args, name, core_dir, sim_dir)
    if rc != 0:
        problems.append("the stand-in's run failed (status %d, %s/sim.out)" % (rc, sim_dir))
    core_ev = fly.read_timeline(os.path.join(core_dir, "timeline.txt"))
    sim_ev = fly.read_timeline(os.path.join(sim_dir, "timeline.txt"))
    cr = read_rows(os.path.join(core_dir, "trajectory.csv"))
    sr = read_rows(os.path.join(sim_dir, "trajectory.csv"))

    # A flight the integrator throws away (a vessel beyond the escape speed): both hosts must do it,
    # to the same vessel, at the same moment, and not come back; what follows is the blow-up's, not
    # the physics': rows and events after it are listed but not judged.
    until, diverged = divergence(cr, sr, tol, plan, lines, problems)

    # Events side by side.
    lines.append("")
    lines.append("events (core, stand-in, difference); tolerance %.2f s beyond a step: %s" % (tol.event, tol.event_why))
    pairs = pair_events(core_ev, sim_ev)
    worst_event = 0.0
    for k, tc, ts, e in pairs:
        mark = ""
        if tc is None or ts is None:
            if diverged is not None and (tc if tc is not None else ts) >= diverged:
                mark = "  (in one host only, after the divergence)"
            elif k != "end of run":
                mark = "  << in one host only"
                problems.append("event in one host only: %s" % e)
        else:
            d = ts - tc
            if diverged is not None and max(tc, ts) >= diverged:
                mark = "  (after the divergence)"
            elif k.startswith("pilot:") and "key" not in k:
                pass
            elif abs(d) > tol.event + plan.step + 1e-6:
                mark = "  << beyond %.2f s" % tol.event
                problems.append("%s: %+.2f s" % (k, d))
            worst_event = max(worst_event, abs(d))
        lines.append("  %s %s %s  %s%s" % (fmt_t(tc), fmt_t(ts), ("%+8.2f" % (ts - tc)) if tc is not None and ts is not None else "        ",
                                           e, mark))
    # The same order: the paired events sorted by the core's time are in the stand-in's order too,
    # except where both fall within the tolerance.
    both = [(tc, ts, k) for k, tc, ts, _ in pairs if tc is not None and ts is not None
            and (diverged is None or max(tc, ts) < diverged)]
    both.sort()
    for (a_c, a_s, ka), (b_c, b_s, kb) in zip(both, both[1:]):
        if b_s < a_s - tol.event - plan.step - 1e-6:
            problems.append("order: %r before %r in the core, after it in the stand-in" % (ka, kb))

    # Checkpoints.
    lines.append("")
    lines.append("checkpoints (trajectory rows at the same times): the largest differences; tolerances %.3g m, "
                 "%.3g m/s, %.3g deg: %s" % (tol.pos, tol.vel, tol.att, tol.why))
    if until:
        lines.append("  (rows of a vessel thrown out by the integrator: only those before it)")
    worst = {"pos": 0.0, "vel": 0.0, "att": 0.0}
    for vname, n, w, apart in compare_rows(cr, sr, tol, until):
        judged = vname not in tol.ignore
        # Where the Earth and the Moon are equally far, the closest body (over which a row gives the
        # place and speeds) changes a frame or two apart in the hosts, the vessel's place differing
        # by the tolerance: such rows are listed, not compared. More than a percent of them means the
        # hosts disagree on where the vessel is, not on the frame of a crossing.
        if apart:
            lines.append("  %-22s %5d rows over different bodies, not compared: at %s s" %
                         (vname, len(apart), ", ".join("%.0f" % t for t in apart[:12]) + (" ..." if len(apart) > 12 else "")))
            if judged and len(apart) > max(2, 0.01 * n):
                problems.append("%s: %d of %d rows over different bodies" % (vname, len(apart), n))
        parts = []
        for k, unit, lim in (("pos", "m", tol.pos), ("vel", "m/s", tol.vel), ("att", "deg", tol.att)):
            x, t = w[k]
            if t is None:
                parts.append("%s -" % k)
                continue
            over = judged and x > lim
            parts.append("%s %.3f %s at %.0f s%s" % (k, x, unit, t, " <<" if over else ""))
            if judged:
                worst[k] = max(worst[k], x)
            if over:
                problems.append("%s: %s %.3f %s at %.0f s (tolerance %.3g)" % (vname, k, x, unit, t, lim))
        lines.append("  %-22s %5d rows: %s" % (vname, n, "; ".join(parts)))

    # Final saved lines.
    lines.append("")
    lines.append("final saved lines that differ (core | stand-in):")
    diffs, _, _ = compare_final(os.path.join(core_dir, "final.scn"), os.path.join(sim_dir, "final.scn"))
    bad = final_verdict_lines(diffs)
    for d in diffs:
        lines.append("  %-22s %-14s %s | %s%s" % (d[0], d[1], d[2], d[3], "  <<" if d in bad else ""))
    for d in bad:
        problems.append("final %s %s: %s | %s" % d)
    lines.append("")
    lines.append("verdict: %s" % ("agree" if not problems else "DIFFER"))
    for p in problems:
        lines.append("  " + p)
    summary = {"events": len(pairs), "dt": worst_event, "pos": worst["pos"], "vel": worst["vel"], "att": worst["att"],
               "final": len(diffs), "final_bad": len(bad)}
    return name, summary, problems, lines


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", action="store_true", help="print the scenarios the arguments name, one a line")
    ap.add_argument("--sim")
    ap.add_argument("--addon")
    ap.add_argument("--probes", default=os.path.join(os.path.dirname(HERE), "probes"))
    ap.add_argument("--core-runs")
    ap.add_argument("--out")
    ap.add_argument("scenarios", nargs="*")
    args = ap.parse_args()
    names = args.scenarios or SHORT
    if names == ["all"]:
        names = ALL
    for n in names:
        if n not in TOLERANCES or n not in fly.PLANS:
            print("compare.py: no plan or tolerances for %r (known: %s)" % (n, ", ".join(ALL)), file=sys.stderr)
            return 2
    if args.list:
        print("\n".join(names))
        return 0
    if not (args.sim and args.addon and args.core_runs and args.out):
        ap.error("--sim, --addon, --core-runs and --out are needed to compare")
    os.makedirs(args.out, exist_ok=True)
    table = ["%-22s %6s %8s %11s %9s %8s %7s  %s" % ("scenario", "events", "max dt", "max place", "max vel",
                                                      "max att", "saved", "verdict"),
             "%-22s %6s %8s %11s %9s %8s %7s" % ("", "", "[s]", "[m]", "[m/s]", "[deg]", "differ")]
    failed = 0
    for n in names:
        name, s, problems, lines = compare_one(args, n)
        with open(os.path.join(args.out, n + ".txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        if s is None:
            table.append("%-22s %s" % (n, "no core flight: " + problems[0]))
            failed += 1
            continue
        verdict = "agree" if not problems else "DIFFER"
        failed += bool(problems)
        table.append("%-22s %6d %8.2f %11.2f %9.3f %8.2f %3d/%-3d  %s" % (
            n, s["events"], s["dt"], s["pos"], s["vel"], s["att"], s["final_bad"], s["final"], verdict))
        print("%-22s %s" % (n, verdict), file=sys.stderr)
    text = "\n".join(table) + "\n\n%d agree, %d differ\n" % (len(names) - failed, failed)
    with open(os.path.join(args.out, "summary.txt"), "w") as f:
        f.write(text)
    print(text)
    return 3 if failed else 0  # 3: a difference beyond its tolerance (1: the comparison itself failed)


if __name__ == "__main__":
    sys.exit(main())
