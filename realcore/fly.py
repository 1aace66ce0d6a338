#!/usr/bin/env python3
"""fly.py -- flies the add-on's scenarios in the simulator's own core and judges each flight.

    fly.py --root ROOT --runs DIR [--jobs N] [SCENARIO ...]

ROOT is a runtime tree of the core with the add-on and the harness plugin installed. Each scenario
(default: all of PLANS below) is flown headless by the core's `run` script with its inputs file,
plus the lines of its plan (the step, time acceleration where the flight allows it, saves), and
writes DIR/<scenario>/: Orbiter.log, final.scn, timeline.txt, trajectory.csv, summary.txt, the
saves, and verdict.txt. A save taken mid-flight is then loaded back in the core and flown on.

The checks are written from what the mission must do and from physics (see each check's text), not
from what another host printed. Exit status 1 when a scenario fails or the core crashes.
"""
import argparse
import concurrent.futures
import math
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EARTH_RADIUS = 6371010.0  # the core's mean radius of Earth [m]
FRAME = 1.0 / 60.0        # a pilot's frame at 60 frames per second [s]


class Plan:
    """How one scenario is flown in the core: its step, its end, extra inputs, and the reload check."""

    def __init__(self, name, step=FRAME, until=None, extra=(), reload_at=None, reload_for=0.0, timeout=2400):
        self.name = name
        self.step = step
        self.until = until              # [s] the end of the flight, instead of the inputs' own
        self.extra = list(extra)
        self.reload_at = reload_at      # [s] a save taken then is loaded back and flown on ...
        self.reload_for = reload_for    # ... for this long [s]
        self.timeout = timeout

    @property
    def save_name(self):
        return "%s_at_%gs" % (self.name.replace(" ", "_"), self.reload_at)


# Where no one flies by hand or by a law that counts frames, a longer fixed step (the host's own
# integrator sub-steps it) or time acceleration; the helicopter and its pilot always at a pilot's
# 60 frames per second. The Catch scenario is flown on to the landings (the helicopter starts 32 km
# from the heliport as the core turns the Earth).
PLANS = {
    "Bus cruise": Plan("Bus cruise", reload_at=30, reload_for=30),
    "Descent": Plan("Descent", step=0.1, reload_at=400, reload_for=60),
    "Chute failure": Plan("Chute failure", step=0.05),
    "Parafoil glide": Plan("Parafoil glide", step=0.05, until=900, reload_at=120, reload_for=60),
    "Catch": Plan("Catch", until=900, reload_at=150, reload_for=60),
    "L1 approach": Plan("L1 approach", step=600.0, extra=["2592000 mfd left key B"], reload_at=2592000 + 600,
                        reload_for=86400 * 4),
    "Mission": Plan("Mission", extra=["60 warp 10", "240 warp 1"], reload_at=1700, reload_for=120),
    # Probe flights (probes/ in the repository, installed beside the scenarios for these runs).
    "Release in flight": Plan("Release in flight"),
    "Blank vessel": Plan("Blank vessel"),
    "Drop warp 10": Plan("Drop warp 10", extra=["0 warp 10"], until=600),
    "Drop warp 100": Plan("Drop warp 100", extra=["0 warp 100"], until=600),
    "Save every class": Plan("Save every class", until=10, reload_at=5, reload_for=5),
    "Bus landing": Plan("Bus landing"),
}
ORDER = ["Bus cruise", "Descent", "Chute failure", "Parafoil glide", "Catch", "L1 approach", "Mission",
         "Release in flight", "Blank vessel", "Drop warp 10", "Drop warp 100", "Save every class", "Bus landing"]


# --- reading what a run wrote -------------------------------------------------------------------

def read_timeline(path):
    events = []
    if not os.path.exists(path):
        return events
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"\s*(-?\d+\.\d+)  (.*)$", line.rstrip("\n"))
            if m:
                events.append((float(m.group(1)), m.group(2)))
    return events


def read_ships(path):
    """The vessels of a scenario file: name -> {"class": ..., "lines": {KEYWORD: rest}}."""
    ships = {}
    mfds = {}
    if not os.path.exists(path):
        return ships, mfds
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [l.rstrip("\r\n") for l in f]
    in_ships, cur, mfd = False, None, None
    for raw in lines:
        s = raw.strip()
        if s == "BEGIN_SHIPS":
            in_ships = True
        elif s == "END_SHIPS":
            in_ships = False
        elif in_ships and cur is None and ":" in s:
            name, cls = s.split(":", 1)
            cur = name
            ships[cur] = {"class": cls, "lines": {}}
        elif in_ships and cur is not None:
            if s == "END":
                cur = None
            elif s:
                k, _, rest = s.partition(" ")
                ships[cur]["lines"][k.upper()] = rest.strip()
        elif s.startswith("BEGIN_MFD"):
            mfd = s.split(" ", 1)[1] if " " in s else ""
            mfds[mfd] = {}
        elif mfd is not None:
            if s == "END_MFD":
                mfd = None
            elif s:
                k, _, rest = s.partition(" ")
                mfds[mfd][k.upper()] = rest.strip()
    return ships, mfds


def read_trajectory(path):
    rows = {}
    if not os.path.exists(path):
        return rows
    with open(path, encoding="utf-8", errors="replace") as f:
        next(f, None)
        for line in f:
            p = line.rstrip("\n").split(",")
            if len(p) < 8:  # time, vessel, altitude ... airspeed, and the attitude where written
                continue
            try:
                rows.setdefault(p[1], []).append(tuple(float(x) if i not in (1, 11) else x for i, x in enumerate(p)))
            except ValueError:
                continue
    return rows


def read_separations(path):
    """The frames around each attachment and release: a list of (event, child, parent, {k: row})."""
    groups = []
    if not os.path.exists(path):
        return groups
    with open(path, encoding="utf-8", errors="replace") as f:
        head = next(f, "").strip().split(",")
        for line in f:
            p = line.rstrip("\n").split(",")
            if len(p) != len(head):
                continue
            r = dict(zip(head, p))
            try:
                k = int(r["k"])
                row = {c: float(r[c]) for c in head if c not in ("event", "child", "parent", "k")}
            except ValueError:
                continue
            row["d"] = (row["dx"], row["dy"], row["dz"])
            row["dv"] = (row["dvx"], row["dvy"], row["dvz"])
            row["rot"] = (row["rotx"], row["roty"], row["rotz"])
            row["rot0"] = (row["rot0x"], row["rot0y"], row["rot0z"])
            row["s"] = (row["sx"], row["sy"], row["sz"])
            row["up"] = (row["upx"], row["upy"], row["upz"])
            key = (r["event"], r["child"], r["parent"])
            # A new group starts at its first row (k -2 for a release, 0 for an attachment).
            if not groups or groups[-1][:3] != key or k in groups[-1][3] or k < max(groups[-1][3]):
                groups.append((r["event"], r["child"], r["parent"], {}))
            groups[-1][3][k] = row
    return groups


def vec(s):
    return [float(x) for x in s.split()[:3]]


def ground_distance(lat1, lng1, lat2, lng2, r=EARTH_RADIUS):
    p1, p2, dl = math.radians(lat1), math.radians(lat2), math.radians(lng2 - lng1)
    h = math.sin((p2 - p1) / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return 2 * r * math.asin(min(1.0, math.sqrt(h)))


def landed_at(events, name):
    """(time, lng, lat, touchdown speed or None) of the vessel's first landing on the timeline."""
    for t, e in events:
        m = re.match(r"landed %s at (-?[\d.]+) (-?[\d.]+)(?: \(touchdown ([\d.]+) m/s\))?$" % re.escape(name), e)
        if m:
            return t, float(m.group(1)), float(m.group(2)), (float(m.group(3)) if m.group(3) else None)
    return None


def first(events, pattern):
    for t, e in events:
        if re.search(pattern, e):
            return t
    return None


def altitude_at(traj, name, t):
    """The vessel's altitude at time t, interpolated from the trajectory's rows."""
    rows = traj.get(name, [])
    for a, b in zip(rows, rows[1:]):
        if a[0] <= t <= b[0]:
            f = 0 if b[0] == a[0] else (t - a[0]) / (b[0] - a[0])
            return a[2] + f * (b[2] - a[2])
    return None


# --- the checks ---------------------------------------------------------------------------------

class Verdict:
    def __init__(self):
        self.items = []
        self.infos = []

    def check(self, ok, text):
        self.items.append((bool(ok), text))
        return ok

    def info(self, text):
        self.infos.append(text)

    @property
    def passed(self):
        return all(ok for ok, _ in self.items) and self.items

    def text(self):
        return "\n".join([("  ok    " if ok else "  FAIL  ") + t for ok, t in self.items] +
                         ["  info  " + t for t in self.infos]) + "\n"


def in_order(v, events, patterns, what):
    """Each pattern matched by a later timeline line than the one before it."""
    i, ok, seen = 0, True, []
    for p in patterns:
        while i < len(events) and not re.search(p, events[i][1]):
            i += 1
        if i == len(events):
            seen.append("%s: never" % p)
            ok = False
            break
        seen.append("%.2f %s" % (events[i][0], events[i][1]))
        i += 1
    v.check(ok, "%s, in this order: %s" % (what, "; ".join(seen)))


def check_common(v, run):
    v.check(run["rc"] == 0, "the core ran the scenario and exited normally (status %s)" % run["rc"])
    log = run["log"]
    v.check("Could not load" not in log and "Failed loading module" not in log,
            "every module loaded (no missing symbol with LD_BIND_NOW=1)")
    v.check(not any(e.startswith("harness error") for _, e in run["events"]), "the harness read its inputs")
    v.check(any(e == "end of run" for _, e in run["events"]), "the run reached its end")


def check_bus_cruise(v, run):
    ev, ships = run["events"], run["ships"]
    in_order(v, ev, [r"^key G on Corvane_Bus$", r"^key K on Corvane_Bus$", r"^key K on Corvane_Bus$",
                     r"^key J on Corvane_Bus$", r"^created Corvane_SRC \(Vessels/CorvaneMission/corvane_src\)$"],
             "panels (G), covers open and closed (K, K), release (J), the capsule made")
    v.check(not any(e.endswith("not taken") for _, e in ev), "the bus took every key")
    bus, cap = ships.get("Corvane_Bus"), ships.get("Corvane_SRC")
    if not v.check(bus and cap, "the bus and the capsule are in the final state"):
        return
    L = bus["lines"]
    v.check(L.get("CONFIGURATION") == "1", "the bus is released (CONFIGURATION 1, found %s)" % L.get("CONFIGURATION"))
    v.check(L.get("SOLP") == "1 1.0000", "panels deployed and at rest (SOLP 1 1.0000, found %s)" % L.get("SOLP"))
    v.check(L.get("BACKSHELL") == "0 0.0000", "covers closed (BACKSHELL 0 0.0000, found %s)" % L.get("BACKSHELL"))
    v.check(L.get("TETHER") == "1 1.0000", "tether run out (TETHER 1 1.0000, found %s)" % L.get("TETHER"))
    if run["scenario"] != "Bus cruise":
        return  # in the whole mission the capsule flies on: its entry and the rest are checked below
    v.check(cap["lines"].get("CONFIGURATION", "").startswith("0"), "the capsule is in its entry stage")
    # Released 0.2796 m ahead at 0.3 m/s: after the rest of the run it has drifted 0.3 m/s x t away
    # (differential drag and gravity over seconds at 275 km are below a centimetre).
    t_rel = first(ev, r"^created Corvane_SRC ")
    if t_rel is not None and "RPOS" in L and "RPOS" in cap["lines"]:
        pb, pc = vec(L["RPOS"]), vec(cap["lines"]["RPOS"])
        vb, vc = vec(L["RVEL"]), vec(cap["lines"]["RVEL"])
        d = math.dist(pb, pc)
        dv = math.dist(vb, vc)
        t_end = run["end"]
        want = 0.2796 + 0.3 * (t_end - t_rel)
        v.check(abs(dv - 0.3) < 0.02, "the capsule separates at 0.3 m/s (found %.3f m/s)" % dv)
        v.check(abs(d - want) < 0.3 + 0.02 * (t_end - t_rel),
                "the capsule is %.2f m from the bus %.0f s after the release (0.2796 + 0.3 t = %.2f m)"
                % (d, t_end - t_rel, want))


def check_descent(v, run, from_orbit=True):
    ev, traj = run["events"], run["traj"]
    in_order(v, ev, [r"^created Heliport \(CorvaneMission/heliport\)$", r"^created HX220 \(hx220\)$",
                     r"^focus HX220$", r"^created Corvane_SRC_Parafoil \(CorvaneMission/corvane_src_parafoil\)$"],
             "the capsule calls up the heliport and the helicopter, gives it the focus, and hands off to its parafoil")
    # The altitudes at which it did so: the capsule falls at tens of m/s under its drogue, so within
    # one trajectory sample (1 s) of the threshold.
    for pat, thr, what in [(r"^created HX220 ", 20000.0, "call-up below 20 km"),
                           (r"^created Corvane_SRC_Parafoil ", 6700.0, "hand-off below 6.7 km")]:
        t = first(ev, pat)
        a = altitude_at(traj, "Corvane_SRC", t) if t is not None else None
        # The trajectory is a row a simulated second: read between rows, within 50 m.
        v.check(a is not None and thr - 400 < a <= thr + 50,
                "%s: the capsule was at %s m" % (what, "%.0f" % a if a is not None else "?"))
    hel = landed_at(ev, "Heliport")
    hx = run["ships"].get("HX220")
    v.check(hx is not None and "Landed" in hx["lines"].get("STATUS", ""), "the helicopter stays landed at the heliport")
    pf = run["ships"].get("Corvane_SRC_Parafoil")
    v.check(pf is not None, "the parafoil capsule exists at the end")
    if run["end"] >= 2000:
        v.check(landed_at(ev, "Corvane_SRC_Parafoil") is not None, "the parafoil capsule glides down and lands")
    del hel


def check_chute_failure(v, run):
    ev, ships = run["events"], run["ships"]
    v.check(any(e.startswith("harness: next random draw") for _, e in ev), "the capsule's draw was forced above 0.99")
    # Below 20 km it still calls up the recovery (the call-up does not look at the stage), but a
    # capsule without its drogue never hands off to a parafoil.
    in_order(v, ev, [r"^created Heliport ", r"^created HX220 "], "the recovery is called up below 20 km")
    v.check(first(ev, r"^created Corvane_SRC_Parafoil ") is None, "a failed capsule makes no parafoil")
    cap = ships.get("Corvane_SRC")
    if v.check(cap is not None, "the capsule is in the final state"):
        conf = cap["lines"].get("CONFIGURATION", "")
        v.check(conf.split()[:1] == ["4"], "it lies crashed (stage 4, found CONFIGURATION %s)" % conf)
        v.check("Landed" in cap["lines"].get("STATUS", ""), "and is landed")
    l = landed_at(ev, "Corvane_SRC")
    v.check(l is not None, "the failed capsule came down (landed on the timeline)")


def check_parafoil_glide(v, run):
    ev, traj = run["events"], run["traj"]
    rows = traj.get("Corvane_SRC_Parafoil", [])
    flying = [r for r in rows if r[2] > 200]
    if v.check(len(flying) > 60, "the parafoil capsule flew for over a minute"):
        # A gliding canopy: it moves forward faster than it sinks (glide ratio above 1), at a sink
        # rate of metres, not tens of metres, per second.
        late = flying[30:]
        gs = sum(r[5] for r in late) / len(late)
        vs = -sum(r[6] for r in late) / len(late)
        v.check(vs > 0.5 and vs < 15, "it sinks at %.1f m/s" % vs)
        v.check(gs > vs, "it glides: %.1f m/s forward for %.1f m/s down" % (gs, vs))
    if run["end"] >= 600:
        v.check(landed_at(ev, "Corvane_SRC_Parafoil") is not None, "and lands")


# The release comes in the helicopter's last metres onto the pad: from 16 m at its descent's sink of
# about a metre a second and its ground speed falling off below 20 m/s, the pad is some 150-200 m on.
def check_catch(v, run, near=300.0):
    ev, ships = run["events"], run["ships"]
    in_order(v, ev, [r"^pilot: key shift\+P on HX220", r"^attached Corvane_SRC_Parafoil to HX220$",
                     r"^pilot: key shift\+G on HX220", r"^detached Corvane_SRC_Parafoil from HX220$",
                     r"^landed Corvane_SRC_Parafoil ", r"^landed HX220"],
             "pole out, the catch, home, the release, both landings")
    # The release comes below 16 m: the capsule then falls at most ~16 m, so it lands within a few
    # seconds of it.
    t_det = first(ev, r"^detached Corvane_SRC_Parafoil from HX220$")
    l_pf = landed_at(ev, "Corvane_SRC_Parafoil")
    if t_det is not None and l_pf is not None:
        v.check(l_pf[0] - t_det < 60, "the released capsule is down %.1f s after the release (it fell from below 16 m)"
                % (l_pf[0] - t_det))
    if t_det is not None:
        a = altitude_at(run["traj"], "HX220", t_det)
        v.check(a is not None and a < 16.0 + 5.0, "released below 16 m (the helicopter at %s m)" % ("%.1f" % a if a is not None else "?"))
    port = ships.get("Heliport")
    if port and "STATUS" in port["lines"]:
        m = re.match(r"Landed Earth", port["lines"]["STATUS"])
        pos = port["lines"].get("POS")
        if m and pos:
            plng, plat = [float(x) for x in pos.split()[:2]]
            for name, lim in [("HX220", 100.0), ("Corvane_SRC_Parafoil", near)]:
                l = landed_at(ev, name)
                s = ships.get(name)
                if l and s and "POS" in s["lines"]:
                    lng, lat = [float(x) for x in s["lines"]["POS"].split()[:2]]
                    d = ground_distance(lat, lng, plat, plng)
                    run.setdefault("distances", {})[name] = d
                    v.check(d < lim, "%s ends landed %.0f m from the heliport (under %.0f m)" % (name, d, lim))
                else:
                    v.check(False, "%s ends landed near the heliport" % name)


# A release and a catch seen frame by frame (separations.csv: the child relative to the parent in the
# global frame; k = 0 the frame in which the host first reports the change, read at the end of its
# post-steps, s the same read at the frame's start, as the frame before published it). A release made
# where the host keeps the load in place moves it, from the last published frame on the pole to the
# first free one, by one frame of its motion relative to the helicopter at most: under a metre at
# 1/60 s (a released load falls away at well under 60 m/s); a release the host restarts a frame back
# throws it one step of the heliocentric motion, some 500 m. It leaves with the helicopter's velocity
# plus the helicopter's rotation at the load's origin, R (r x w) (Vessel.cpp, Vessel::DetachFromParent),
# w read at the frame's start or after the helicopter's pre-step set its turn rate, whichever came
# before the release; the rows print micrometres per second.
def check_separations(v, run, in_flight):
    groups = read_separations(run.get("separations", ""))
    releases = [g for g in groups if g[0] == "detach"]
    if not v.check(releases, "the frames around the release were written (%d releases, %d catches)"
                   % (len(releases), len([g for g in groups if g[0] == "attach"]))):
        return
    for ev, child, parent, rows in releases:
        if not v.check(all(k in rows for k in (0, 1, 2)), "the frames of the release of %s" % child):
            continue
        at, first_free, second = rows[0], rows[1], rows[2]
        step = [a - b for a, b in zip(first_free["s"], at["s"])]
        jump = math.sqrt(sum(x * x for x in step))
        v.check(math.dist(second["s"], first_free["s"]) < 1.0,
                "the frame after moves %s %.3f m relative to %s (under a metre)"
                % (child, math.dist(second["s"], first_free["s"]), parent))
        if in_flight or first_free["alt"] > 0.5:
            v.check(jump < 1.0, "released in flight, %s stays on the pole tip's track: %.4f m (under a metre)" % (child, jump))
            err = min(math.dist(at["dv"], at["rot0"]), math.dist(at["dv"], at["rot"]))
            v.check(err < 2e-5, "it leaves at the helicopter's velocity plus R (r x w) = (%.6f %.6f %.6f) m/s: "
                    "off by %.6f m/s" % (at["rot0"] + (err,)))
        else:
            # Below its set-down height the capsule is set on the ground where it is, at once: it
            # rises onto its touchdown points, and moves no farther than that sideways.
            up = first_free["up"]
            rise = sum(a * b for a, b in zip(step, up))
            side = math.sqrt(max(0.0, jump * jump - rise * rise))
            v.check(side < 1.0 and 0 <= first_free["alt"] < 3.0 and abs(rise) < 3.0,
                    "released below its set-down height, %s is set down where it was: %.3f m sideways (under "
                    "a metre), %.2f m up onto its points, at %.2f m" % (child, side, rise, first_free["alt"]))
    for ev, child, parent, rows in groups:
        if ev != "attach" or not rows:
            continue
        ks = sorted(rows)
        steps = ["%d: %.3f m" % (k, math.dist(rows[k]["s"], rows[k - 1]["s"])) for k in ks[1:] if k - 1 in rows]
        v.info("caught at %.4f s: %s relative to %s as published, frame by frame, moves %s"
               % (rows[ks[0]]["time"], child, parent, ", ".join(steps)))
        last = rows[ks[-1]]
        if len(ks) >= 4:
            v.check(math.dist(last["dv"], (0, 0, 0)) < 1e-6 and math.dist(last["s"], rows[ks[-2]]["s"]) < 0.05,
                    "three frames after the catch %s rides on the pole (velocity %.6f m/s, %.4f m in a frame)"
                    % (child, math.dist(last["dv"], (0, 0, 0)), math.dist(last["s"], rows[ks[-2]]["s"])))


def check_catch_frames(v, run):
    check_separations(v, run, in_flight=False)


def check_release_in_flight(v, run):
    ev = run["events"]
    in_order(v, ev, [r"^key shift\+J on HX220$", r"^detached Corvane_SRC_Parafoil from HX220$",
                     r"^landed Corvane_SRC_Parafoil "], "the release by command, the capsule's landing")
    t_rel = first(ev, r"^detached ")
    v.check(t_rel is not None and not any(t > t_rel and e.startswith("attached ") for t, e in ev),
            "the released capsule (below 20 m) is not caught again")
    check_separations(v, run, in_flight=True)


def check_l1(v, run):
    mfds = run["mfds"]
    left = mfds.get("Left", {})
    v.check(left.get("MODE") == "Corvane L1 Display", "the left display shows the L1 mode (found %s)" % left.get("MODE"))
    # Four views a press of V each, from the page the scenario opened on: back to page 0... three
    # presses from 0 give page 3; the zoom is the scenario's.
    v.check(left.get("PAGE") == "3", "three presses of V page it to the readouts (PAGE 3, found %s)" % left.get("PAGE"))
    v.check(left.get("ZOOM") == "1", "B zoomed it in once from the scenario's 2 (ZOOM 1, found %s)" % left.get("ZOOM"))


CHECKS = {
    "Bus cruise": [check_bus_cruise],
    "Descent": [check_descent],
    "Chute failure": [check_chute_failure],
    "Parafoil glide": [check_parafoil_glide],
    "Catch": [check_catch, check_catch_frames],
    "L1 approach": [check_l1],
    "Mission": [check_bus_cruise, check_descent, check_catch, check_catch_frames],
    "Release in flight": [check_release_in_flight],
    # The probes below are judged against the stand-in's flight (compare.py); here only that they fly.
    "Blank vessel": [],
    "Drop warp 10": [],
    "Drop warp 100": [],
    "Save every class": [],
    "Bus landing": [],
}


# --- flying ---------------------------------------------------------------------------------------

def end_time(inputs_text, default=60.0):
    for line in inputs_text.splitlines():
        w = line.split("#", 1)[0].split()
        if len(w) >= 2 and w[1].lower() == "end":
            return float(w[0])
    return default


def fly(run_script, root, scenario, out, step, inputs_text, until, timeout):
    os.makedirs(out, exist_ok=True)
    inputs_path = os.path.join(out, "inputs.txt")
    with open(inputs_path, "w") as f:
        f.write(inputs_text)
    env = dict(os.environ, CORVANE_INPUTS=inputs_path, CORVANE_OUT=os.path.abspath(out), LD_BIND_NOW="1",
               RUN_TIMEOUT=str(timeout))
    t0 = time.time()
    with open(os.path.join(out, "core.out"), "w") as o:
        rc = subprocess.call([run_script, root, scenario, "--fixedstep=%.10g" % step,
                              "--maxsimtime=%.10g" % (until + 0.5 * step)], stdout=o, stderr=subprocess.STDOUT, env=env)
    wall = time.time() - t0
    for src, dst in [("Orbiter.log", "Orbiter.log"), ("Scenarios/(Current state).scn", "final.scn")]:
        p = os.path.join(root, src)
        if os.path.exists(p):
            shutil.copyfile(p, os.path.join(out, dst))
    log = open(os.path.join(out, "Orbiter.log"), errors="replace").read() if os.path.exists(os.path.join(out, "Orbiter.log")) else ""
    log += open(os.path.join(out, "core.out"), errors="replace").read()
    ships, mfds = read_ships(os.path.join(out, "final.scn"))
    return {"scenario": scenario.split("/")[-1], "rc": rc, "wall": wall, "log": log, "events": read_timeline(os.path.join(out, "timeline.txt")),
            "ships": ships, "mfds": mfds, "traj": read_trajectory(os.path.join(out, "trajectory.csv")), "end": until,
            "separations": os.path.join(out, "separations.csv")}


def without_end(text):
    return "\n".join(l for l in text.splitlines() if not re.match(r"^\s*[\d.]+\s+end\b", l.split("#", 1)[0]))


def run_scenario(args, name, root):
    plan = PLANS[name]
    out = os.path.join(args.runs, name)
    shutil.rmtree(out, ignore_errors=True)
    inputs_file = os.path.join(root, "Scenarios", "Corvane", name + ".inputs")
    base = open(inputs_file).read() if os.path.exists(inputs_file) else ""
    until = plan.until if plan.until is not None else end_time(base)
    lines = [without_end(base), "# flown in the real core"] + plan.extra
    if plan.reload_at is not None:
        lines.append("%g save %s" % (plan.reload_at, plan.save_name))
    lines.append("%g end" % until)
    run = fly(args.run_script, root, "Corvane/" + name, out, plan.step, "\n".join(lines) + "\n", until, plan.timeout)
    v = Verdict()
    check_common(v, run)
    for c in CHECKS[name]:
        c(v, run)
    # A save taken mid-flight loads back in the core and the flight goes on from it.
    if plan.reload_at is not None:
        saved = os.path.join(root, "Scenarios", plan.save_name + ".scn")
        if v.check(os.path.exists(saved), "a save at %g s was written mid-flight" % plan.reload_at):
            shutil.copyfile(saved, os.path.join(out, plan.save_name + ".scn"))
            ships_saved, mfds_saved = read_ships(saved)
            r2 = fly(args.run_script, root, plan.save_name, os.path.join(out, "reload"), plan.step,
                     "%g end\n" % plan.reload_for, plan.reload_for, plan.timeout)
            v.check(r2["rc"] == 0 and any(e == "end of run" for _, e in r2["events"]),
                    "the save loads back in the core and flies on %g s (status %s)" % (plan.reload_for, r2["rc"]))
            missing = sorted(set(ships_saved) - set(r2["ships"]))
            v.check(not missing, "every vessel of the save is there after the reload%s" %
                    (" (missing: %s)" % ", ".join(missing) if missing else ""))
            for c in RELOAD_CHECKS.get(name, []):
                c(v, run, r2, ships_saved, mfds_saved)
    with open(os.path.join(out, "verdict.txt"), "w") as f:
        f.write(v.text())
    return name, run, v


# --- after a reload ------------------------------------------------------------------------------

def reload_bus(v, run, r2, saved, mfds):
    # Saved at 30 s with the covers closing (K again at 28 s, 20 s each way): they go on closing and
    # are shut 20 s after the second K, before the reloaded flight's end.
    bs = saved.get("Corvane_Bus", {}).get("lines", {}).get("BACKSHELL", "")
    v.check(bs.startswith("2 "), "the save holds the covers closing (BACKSHELL %s)" % bs)
    end = r2["ships"].get("Corvane_Bus", {}).get("lines", {}).get("BACKSHELL")
    v.check(end == "0 0.0000", "after the reload they go on closing and are shut (BACKSHELL %s)" % end)


def reload_descent(v, run, r2, saved, mfds):
    # The recovery was called up before the save: the reloaded capsule does not call it again.
    v.check(not any(t > 0 and re.match(r"^created (Heliport|HX220) ", e) for t, e in r2["events"]),
            "the reloaded capsule calls up no second heliport or helicopter")


def reload_glide(v, run, r2, saved, mfds):
    rows = r2["traj"].get("Corvane_SRC_Parafoil", [])
    v.check(len(rows) > 10 and rows[-1][2] < rows[0][2] and rows[-1][5] > 1,
            "after the reload the capsule glides on (%s)" %
            ("%.0f m to %.0f m" % (rows[0][2], rows[-1][2]) if rows else "no trajectory"))


def reload_carry(v, run, r2, saved, mfds):
    pf = saved.get("Corvane_SRC_Parafoil", {}).get("lines", {})
    v.check("ATTACHED" in pf, "the save holds the capsule on the pole (ATTACHED %s)" % pf.get("ATTACHED"))
    v.check(first(r2["events"], r"^detached ") is None and "ATTACHED" in
            r2["ships"].get("Corvane_SRC_Parafoil", {}).get("lines", {}),
            "after the reload it still hangs on the pole")
    rows = r2["traj"].get("HX220", [])
    v.check(len(rows) > 10 and min(r[2] for r in rows) > 50 and rows[-1][5] > 10,
            "and the helicopter carries it on in flight (%s)" %
            ("lowest %.0f m, last ground speed %.1f m/s" % (min(r[2] for r in rows), rows[-1][5]) if rows else "?"))


def reload_l1(v, run, r2, saved, mfds):
    left = mfds.get("Left", {})
    v.check(left.get("ZOOM") == "1" and left.get("PAGE") == "0",
            "the save holds the display zoomed in once (ZOOM %s, PAGE %s)" % (left.get("ZOOM"), left.get("PAGE")))
    back = r2["mfds"].get("Left", {})
    v.check(back.get("MODE") == "Corvane L1 Display" and back.get("ZOOM") == "1" and back.get("PAGE") == "0",
            "the reloaded display comes back with that page and zoom (ZOOM %s, PAGE %s)" % (back.get("ZOOM"), back.get("PAGE")))


RELOAD_CHECKS = {
    "Bus cruise": [reload_bus],
    "Descent": [reload_descent],
    "Parafoil glide": [reload_glide],
    "Catch": [reload_carry],
    "L1 approach": [reload_l1],
    "Mission": [reload_carry],
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--runs", required=True)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--run-script", default=os.path.join(os.environ.get("CORVANE_REAL_HOST", ""), "run"))
    ap.add_argument("scenarios", nargs="*")
    args = ap.parse_args()
    names = args.scenarios or ORDER
    for n in names:
        if n not in PLANS:
            print("fly.py: no plan for scenario %r (known: %s)" % (n, ", ".join(ORDER)), file=sys.stderr)
            return 2
    os.makedirs(args.runs, exist_ok=True)
    # One root per job: the core keeps its state file and configuration in its root.
    roots = [args.root]
    for j in range(1, min(args.jobs, len(names))):
        r = args.root.rstrip("/") + ".%d" % j
        if os.path.exists(r):
            shutil.rmtree(r)
        shutil.copytree(args.root, r, symlinks=True)
        roots.append(r)
    # The longest flight first, so that the others share the second core beside it.
    queue = sorted(names, key=lambda n: 0 if n == "Mission" else 1)
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(roots)) as ex:
        free = list(roots)
        pending = {}
        while queue or pending:
            while queue and free:
                n = queue.pop(0)
                r = free.pop(0)
                pending[ex.submit(run_scenario, args, n, r)] = r
            done, _ = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
            for d in done:
                free.append(pending.pop(d))
                n, run, v = d.result()
                results[n] = (run, v)
                print("%-16s %s  (%d checks, %.0f s wall)" % (n, "pass" if v.passed else "FAIL", len(v.items), run["wall"]),
                      file=sys.stderr)
    failed = 0
    print("\n%-16s %-8s %-7s %s" % ("scenario", "events", "verdict", "notes"))
    for n in names:
        run, v = results[n]
        notes = "; ".join(t for ok, t in v.items if not ok)[:200]
        print("%-16s %-8d %-7s %s" % (n, len(run["events"]), "pass" if v.passed else "FAIL", notes))
        if not v.passed:
            failed += 1
    print("\n%d passed, %d failed" % (len(names) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
