#!/usr/bin/env python3
"""soundgen.py -- makes the helicopter's three waves (16-bit mono PCM) from a few lines of synthesis:

    soundgen.py --out ADDON_DIR     writes ADDON_DIR/Sound/Vessel/{helico,demarragehelico,warningHX220}.wav
    soundgen.py --check ADDON_DIR --names SOURCE...
                                    fails unless the committed waves are the generator's, byte for
                                    byte, and every wave the SOURCE files name is among them

- helico.wav, the rotor running, looped: four blades at 5 turns a second slap the air 20 times a
  second (bursts of low rumble), over the turbine's whine; one second, so the loop closes on a
  whole number of slaps and the envelope is at rest at both ends.
- demarragehelico.wav, the engine start, once: the starter's whine rising over 8.3 s (the 500 frames
  the helicopter waits before its rotor ramps, at 60 frames a second), the rotor's slaps coming in
  slowly and speeding up toward their running rate.
- warningHX220.wav, the pole warning, looped: two 880 Hz beeps a second.

The same output every run (a fixed seed, no time or platform in it), so the committed files are
exactly the generator's (a test compares them). The helicopter plays them at its own playback rate;
they are written at 44100 samples a second (the running rotor plays at 40 000 to 50 000).
"""
import argparse
import math
import os
import random
import re
import struct
import sys
import tempfile
import wave

RATE = 44100            # [samples/s]: the running rotor is played at 40 000 to 50 000
FULL = 32767            # the largest 16-bit sample

# The rotor: blade-pass rate, slap shape and the turbine's whine under it.
BLADE_RATE = 20.0       # [1/s] 4 blades x 5 turns a second
SLAP_WIDTH = 0.018      # [s] the burst's half-width (a raised cosine)
RUMBLE_CUTOFF = 180.0   # [Hz] the low-pass of the slaps' noise
WHINE_HZ = 1180.0       # [Hz] turbine at speed
WHINE_LEVEL = 0.10
SLAP_LEVEL = 0.85
ROTOR_SECONDS = 1.0

# The start: the whine's rise and the slaps' ramp.
START_SECONDS = 8.3
START_WHINE_FROM, START_WHINE_TO = 180.0, 1180.0   # [Hz]
START_SLAPS_FROM, START_SLAPS_TO = 1.5, 14.0        # [1/s] blade passes at the start and the end
START_FADE_IN = 0.4                                 # [s]

# The warning: beeps of a fixed tone.
BEEP_HZ = 880.0
BEEP_ON = 0.25          # [s] of each half second
BEEP_PERIOD = 0.5
BEEP_LEVEL = 0.5
BEEP_EDGE = 0.005       # [s] ramps at each edge, no click
WARNING_SECONDS = 1.0

SEED = 20261209


def lowpass(samples, cutoff):
    """One-pole low-pass filter (RC), run twice for a softer edge."""
    a = 1.0 - math.exp(-2.0 * math.pi * cutoff / RATE)
    for _ in range(2):
        y = 0.0
        out = []
        for x in samples:
            y += a * (x - y)
            out.append(y)
        samples = out
    peak = max(abs(s) for s in samples) or 1.0
    return [s / peak for s in samples]


def envelope_at(t_in_period, width):
    if abs(t_in_period) >= width:
        return 0.0
    return 0.5 * (1.0 + math.cos(math.pi * t_in_period / width))


def rotor(rng):
    n = int(RATE * ROTOR_SECONDS)
    noise = lowpass([rng.uniform(-1.0, 1.0) for _ in range(n)], RUMBLE_CUTOFF)
    period = 1.0 / BLADE_RATE
    out = []
    for i in range(n):
        t = i / RATE
        # each slap centred half a period in, so both ends of the loop are between slaps
        k = (t % period) - period / 2
        env = envelope_at(k, SLAP_WIDTH)
        whine = math.sin(2.0 * math.pi * WHINE_HZ * t)  # 1180 whole cycles a second: the loop closes
        out.append(SLAP_LEVEL * env * noise[i] + WHINE_LEVEL * whine)
    return out


def start(rng):
    n = int(RATE * START_SECONDS)
    noise = lowpass([rng.uniform(-1.0, 1.0) for _ in range(n)], RUMBLE_CUTOFF)
    out = []
    whine_phase = slap_phase = 0.0
    for i in range(n):
        u = i / (n - 1)                       # 0 .. 1 over the start
        t = i / RATE
        f = START_WHINE_FROM + (START_WHINE_TO - START_WHINE_FROM) * u * u
        whine_phase += 2.0 * math.pi * f / RATE
        rate = START_SLAPS_FROM + (START_SLAPS_TO - START_SLAPS_FROM) * u
        slap_phase += rate / RATE
        k = (slap_phase % 1.0) - 0.5          # in periods
        env = envelope_at(k / rate, SLAP_WIDTH)
        fade = min(1.0, t / START_FADE_IN) * min(1.0, (n - 1 - i) / (RATE * 0.05))
        level = 0.25 + 0.6 * u                # the rotor grows louder as it spins up
        out.append(fade * (level * env * noise[i] + (0.06 + 0.08 * u) * math.sin(whine_phase)))
    return out


def warning():
    n = int(RATE * WARNING_SECONDS)
    out = []
    for i in range(n):
        t = i / RATE
        k = t % BEEP_PERIOD
        if k >= BEEP_ON:
            out.append(0.0)
            continue
        edge = min(1.0, k / BEEP_EDGE, (BEEP_ON - k) / BEEP_EDGE)
        out.append(BEEP_LEVEL * edge * math.sin(2.0 * math.pi * BEEP_HZ * t))
    return out


def write(path, samples):
    frames = b"".join(struct.pack("<h", max(-FULL, min(FULL, int(round(s * FULL))))) for s in samples)
    tmp = path + ".tmp"
    with wave.open(tmp, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)
    os.replace(tmp, path)


def generate(out):
    d = os.path.join(out, "Sound", "Vessel")
    os.makedirs(d, exist_ok=True)
    rng = random.Random(SEED)
    write(os.path.join(d, "helico.wav"), rotor(rng))
    write(os.path.join(d, "demarragehelico.wav"), start(rng))
    write(os.path.join(d, "warningHX220.wav"), warning())
    return sorted(os.listdir(d))


def check(addon, sources):
    faults = []
    with tempfile.TemporaryDirectory() as work:
        made = generate(work)
        for name in made:
            ours = os.path.join(work, "Sound", "Vessel", name)
            theirs = os.path.join(addon, "Sound", "Vessel", name)
            if not os.path.exists(theirs):
                faults.append(f"{theirs}: missing (run ./corvane.sh sounds)")
            elif open(ours, "rb").read() != open(theirs, "rb").read():
                faults.append(f"{theirs}: not the generator's output (run ./corvane.sh sounds)")
    # Every wave a module names (paths from the simulator's root, as the sound libraries take them).
    for src in sources:
        for m in re.finditer(r'"(Sound(?:\\\\|/)[^"]+\.wav)"', open(src, encoding="latin-1").read()):
            rel = m.group(1).replace("\\\\", "/")
            if not os.path.exists(os.path.join(addon, rel)):
                faults.append(f"{src}: names {rel}, which the add-on does not ship")
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", help="the add-on's folder (Sound/Vessel/ is made in it)")
    ap.add_argument("--check", help="the add-on's folder to check")
    ap.add_argument("--names", nargs="*", default=[], help="sources whose wave names must be shipped")
    args = ap.parse_args()
    if args.check:
        sys.exit(check(args.check, args.names))
    if not args.out:
        ap.error("--out or --check is needed")
    generate(args.out)


if __name__ == "__main__":
    main()
