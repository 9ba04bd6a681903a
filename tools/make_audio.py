#!/usr/bin/env python3
"""Synthesises the demo game's music, ambient sound and footsteps and encodes
them as small mono Ogg Vorbis files with oggenc.

Music and ambient files carry the Vorbis comments LOOPSTART and LOOPLENGTH in
sample frames: the part before LOOPSTART plays once (the village theme's
introduction), the stretch after it repeats. A file holds a little more than
its loop, so that the loop end lies inside the decoded audio.

Usage: make_audio.py SFX_FOLDER   (writes bgm/, bgs/ and se/ in it)
"""
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 22050
TAIL = 2048


def midi(n):
    return 440.0 * 2 ** ((n - 69) / 12.0)


NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def pitch(name):
    """'C5', 'F#4', 'Bb3' -> frequency."""
    letter, rest = name[0], name[1:]
    shift = 0
    while rest and rest[0] in "#b":
        shift += 1 if rest[0] == "#" else -1
        rest = rest[1:]
    return midi(12 * (int(rest) + 1) + NOTE[letter] + shift)


class Track:
    def __init__(self, seconds=None, frames=None):
        self.buf = [0.0] * (frames if frames is not None else int(seconds * RATE))

    def add(self, start, samples, amp=1.0):
        s = int(start)
        for i, v in enumerate(samples):
            if 0 <= s + i < len(self.buf):
                self.buf[s + i] += v * amp


def envelope(n, attack, release):
    a, r = max(1, int(attack * RATE)), max(1, int(release * RATE))
    return [min(1.0, i / a, (n - i) / r) for i in range(n)]


def tone(freq, seconds, kind="tri", attack=0.01, release=0.08, vibrato=0.0):
    n = int(seconds * RATE)
    env = envelope(n, attack, release)
    out = []
    phase = 0.0
    for i in range(n):
        f = freq * (1 + vibrato * math.sin(2 * math.pi * 5.5 * i / RATE))
        phase += f / RATE
        p = phase % 1.0
        if kind == "tri":
            v = 4 * abs(p - 0.5) - 1
        elif kind == "sq":
            v = 0.6 if p < 0.5 else -0.6
        else:
            v = math.sin(2 * math.pi * p)
        out.append(v * env[i])
    return out


def pluck(freq, seconds, seed=0):
    """A plucked string (Karplus-Strong)."""
    rng = random.Random(seed)
    period = max(2, int(RATE / freq))
    ring = [rng.uniform(-1, 1) for _ in range(period)]
    out = []
    for i in range(int(seconds * RATE)):
        v = ring[i % period]
        ring[i % period] = 0.497 * (v + ring[(i + 1) % period])
        out.append(v)
    return out


def bell(freq, seconds):
    n = int(seconds * RATE)
    return [sum(a * math.sin(2 * math.pi * freq * k * i / RATE) * math.exp(-i / RATE * d)
                for k, a, d in ((1, 0.6, 1.6), (2.76, 0.25, 3.0), (5.4, 0.12, 5.0)))
            * min(1.0, i / 40) for i in range(n)]


def lowpass(samples, alpha):
    out, y = [], 0.0
    for v in samples:
        y += alpha * (v - y)
        out.append(y)
    return out


def highpass(samples, alpha):
    low = lowpass(samples, alpha)
    return [a - b for a, b in zip(samples, low)]


def normalise(samples, peak=0.8):
    top = max(1e-9, max(abs(v) for v in samples))
    return [v * peak / top for v in samples]


def seamless(samples, length, fade):
    """The first `length` frames of a sound `length + fade` long, its end faded
    into its start so that it repeats without a click."""
    out = samples[:length]
    for i in range(fade):
        t = i / fade
        out[i] = samples[i] * t + samples[length + i] * (1 - t)
    return out


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, v)) * 32000)) for v in samples))


def encode(samples, out, quality="-1", comments=()):
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "sound.wav")
        write_wav(wav, samples)
        # A fixed stream serial number keeps the files the same from run to run.
        cmd = ["oggenc", "-Q", "-s", "1", "-q", quality, "-o", out, wav]
        for c in comments:
            cmd += ["-c", c]
        subprocess.run(cmd, check=True)


def looped(samples, start, length):
    """Music of an introduction of `start` frames and a loop of `length` frames,
    followed by the loop's first frames again so the loop end lies in the file."""
    body = samples[:start + length]
    body += samples[start:start + TAIL]
    return body, ["LOOPSTART=%d" % start, "LOOPLENGTH=%d" % length]


def score(track, beat, notes, voice, amp):
    """notes: (beat position, pitch name, beats long)."""
    for at, name, length in notes:
        track.add(at * beat * RATE, voice(pitch(name), length * beat), amp)


def village_theme():
    """Bright C major at 120 beats a minute: a two-bar harp introduction, then
    a four-bar loop of lead, harp arpeggios and bass."""
    beat = 0.5
    intro_beats, loop_beats = 8, 16
    t = Track(frames=int((intro_beats + loop_beats * 2) * beat * RATE))
    harp = lambda f, s: pluck(f, s + 0.6, seed=int(f))
    # Introduction: rising arpeggios over C, then a G7 that leads into the loop.
    intro = [(i * 0.5, n, 1.5) for i, n in enumerate(["C4", "E4", "G4", "C5", "E5", "G5", "C6", "G5"])]
    intro += [(4 + i * 0.5, n, 1.5) for i, n in enumerate(["G3", "B3", "D4", "F4", "G4", "B4", "D5", "F5"])]
    score(t, beat, intro, harp, 0.5)
    score(t, beat, [(0, "C3", 4), (4, "G2", 4)], lambda f, s: tone(f, s, "sine", 0.02, 0.3), 0.5)
    chords = [("C3", ["C4", "E4", "G4", "E4"]), ("G2", ["B3", "D4", "G4", "D4"]),
              ("A2", ["C4", "E4", "A4", "E4"]), ("F2", ["A3", "C4", "F4", "C4"])]
    melody = [(0, "E5", 1), (1, "D5", 0.5), (1.5, "C5", 0.5), (2, "E5", 1), (3, "G5", 1),
              (4, "D5", 1.5), (5.5, "B4", 0.5), (6, "D5", 1), (7, "G5", 1),
              (8, "C5", 1), (9, "E5", 1), (10, "A5", 1), (11, "G5", 0.5), (11.5, "E5", 0.5),
              (12, "F5", 1.5), (13.5, "E5", 0.5), (14, "D5", 1), (15, "G4", 1)]
    for rep in range(2):
        base = intro_beats + rep * loop_beats
        for bar, (bass, arp) in enumerate(chords):
            at = base + bar * 4
            score(t, beat, [(at, bass, 1.8), (at + 2, bass, 1.8)],
                  lambda f, s: tone(f, s, "sine", 0.01, 0.2), 0.55)
            score(t, beat, [(at + i * 0.5, arp[i % 4], 0.9) for i in range(8)], harp, 0.28)
        score(t, beat, [(base + a, n, l) for a, n, l in melody],
              lambda f, s: tone(f, s, "tri", 0.01, 0.12, vibrato=0.004), 0.32)
    samples = normalise(t.buf)
    start = int(intro_beats * beat * RATE)
    return looped(samples, start, int(loop_beats * beat * RATE))


def forest_theme():
    """A minor at 96 beats a minute: a breathy flute over a soft pad."""
    beat = 0.625
    loop_beats = 16
    t = Track(frames=int(loop_beats * 2 * beat * RATE))
    flute = lambda f, s: tone(f, s, "sine", 0.08, 0.25, vibrato=0.006)
    pad = lambda f, s: tone(f, s, "tri", 0.6, 0.8)
    melody = [(0, "E5", 1.5), (1.5, "D5", 0.5), (2, "C5", 1), (3, "A4", 1),
              (4, "G4", 1.5), (5.5, "A4", 0.5), (6, "E4", 2),
              (8, "A4", 1), (9, "C5", 1), (10, "D5", 1), (11, "E5", 1),
              (12, "G5", 1.5), (13.5, "E5", 0.5), (14, "A4", 2)]
    chords = [["A3", "C4", "E4"], ["E3", "G3", "B3"], ["F3", "A3", "C4"], ["G3", "B3", "D4"]]
    for rep in range(2):
        base = rep * loop_beats
        for bar, chord in enumerate(chords):
            score(t, beat, [(base + bar * 4, n, 4.2) for n in chord], pad, 0.12)
            score(t, beat, [(base + bar * 4, chord[0][0] + "2", 4)], lambda f, s: tone(f, s, "sine", 0.05, 0.4),
                  0.35)
        score(t, beat, [(base + a, n, l) for a, n, l in melody], flute, 0.4)
    samples = normalise(t.buf)
    return looped(samples, 0, int(loop_beats * beat * RATE))


def shrine_theme():
    """Slow D dorian bells over a held drone."""
    beat = 1.0
    loop_beats = 8
    t = Track(frames=int(loop_beats * 2 * beat * RATE) + RATE * 3)
    for rep in range(3):
        base = rep * loop_beats
        for n in ("D3", "A3", "D4"):
            t.add(base * RATE, tone(pitch(n), loop_beats + 0.5, "sine", 1.5, 1.5, vibrato=0.002), 0.18)
        bells = [(0, "A5"), (1.5, "F5"), (2, "D5"), (3.5, "E5"), (4, "C6"), (5.5, "A5"), (6, "G5"), (7, "D5")]
        for at, n in bells:
            t.add((base + at) * RATE, bell(pitch(n), 2.5), 0.3)
    samples = normalise(t.buf[loop_beats * RATE:])
    return looped(samples, 0, loop_beats * RATE)


def stream_sound():
    """A brook: noise bubbling through a moving band."""
    rng = random.Random(11)
    n, fade = 6 * RATE, RATE
    noise = [rng.uniform(-1, 1) for _ in range(n + fade)]
    body = highpass(lowpass(noise, 0.35), 0.05)
    out = []
    level = 0.5
    for i, v in enumerate(body):
        if i % 300 == 0:
            level = 0.35 + 0.65 * rng.random()
        out.append(v * level * (0.8 + 0.2 * math.sin(i / RATE * 2 * math.pi * 1.3)))
    out = lowpass(out, 0.5)
    return seamless(normalise(out, 0.6), n, fade)


def wind_sound():
    """Wind through trees, swelling twice per loop, with a few bird calls."""
    rng = random.Random(5)
    n, fade = 8 * RATE, RATE
    noise = [rng.uniform(-1, 1) for _ in range(n + fade)]
    air = lowpass(lowpass(noise, 0.04), 0.08)
    air = [v * (0.55 + 0.45 * math.sin(2 * math.pi * i / (n / 2))) for i, v in enumerate(air)]
    air = normalise(air, 0.5)
    t = Track(frames=n + fade)
    t.add(0, air)
    for at in (1.1, 1.35, 4.6, 4.8, 5.0):
        chirp = []
        for i in range(int(0.12 * RATE)):
            f = 3200 + 1400 * math.sin(math.pi * i / (0.12 * RATE))
            chirp.append(math.sin(2 * math.pi * f * i / RATE) * math.sin(math.pi * i / (0.12 * RATE)))
        t.add(at * RATE, chirp, 0.12)
    return seamless(t.buf, n, fade)


def footstep(kind, variant):
    """One short footstep; the four variants differ a little in colour."""
    rng = random.Random("%s%d" % (kind, variant))
    if kind == "grass":
        n = int((0.10 + 0.01 * variant) * RATE)
        s = highpass([rng.uniform(-1, 1) for _ in range(n)], 0.25 + 0.04 * variant)
        env = [math.sin(math.pi * i / n) ** 2 for i in range(n)]
        return normalise([a * b for a, b in zip(s, env)], 0.5)
    if kind == "dirt":
        n = int(0.09 * RATE)
        s = lowpass([rng.uniform(-1, 1) for _ in range(n)], 0.18 + 0.03 * variant)
        env = [math.exp(-i / (0.022 * RATE)) * min(1, i / 40) for i in range(n)]
        return normalise([a * b for a, b in zip(s, env)], 0.55)
    if kind == "stone":
        n = int(0.08 * RATE)
        s = highpass([rng.uniform(-1, 1) for _ in range(n)], 0.1)
        thump = tone(150 + 12 * variant, n / RATE, "sine", 0.001, 0.05)
        env = [math.exp(-i / (0.012 * RATE)) for i in range(n)]
        return normalise([(a * 0.6 + b) * e for a, b, e in zip(s, thump, env)], 0.55)
    n = int(0.14 * RATE)
    s = pluck(180 + 20 * variant, n / RATE, seed=variant)
    env = [math.exp(-i / (0.03 * RATE)) for i in range(n)]
    return normalise(lowpass([a * e for a, e in zip(s, env)], 0.3), 0.55)


def main(folder):
    for sub in ("bgm", "bgs", "se"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    for name, make in (("village", village_theme), ("forest", forest_theme), ("shrine", shrine_theme)):
        samples, comments = make()
        encode(samples, os.path.join(folder, "bgm", name + ".ogg"), "0", comments)
    for name, make in (("stream", stream_sound), ("wind", wind_sound)):
        samples = make()
        encode(samples, os.path.join(folder, "bgs", name + ".ogg"), "-1",
               ["LOOPSTART=0", "LOOPLENGTH=%d" % len(samples)])
    for kind in ("grass", "dirt", "stone", "wood"):
        for variant in range(1, 5):
            encode(footstep(kind, variant), os.path.join(folder, "se", "%s%d.ogg" % (kind, variant)))


if __name__ == "__main__":
    main(sys.argv[1])
