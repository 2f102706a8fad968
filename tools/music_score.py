"""music_score.py: the two tracks of Zimbalo as notes, and the chiptune
synthesiser that plays them; tools/make_music.py turns the result into MP3.

Voices, as on an old game console: a pulse-wave lead with the melody, a
thinner pulse playing the chords as arpeggios, a triangle bass, and drums
made of noise and a falling sine. Every track is a whole number of bars, and
whatever rings past its end (a release, an echo) is folded back onto its
start, so that the track loops without a seam.
"""

import math
import operator
import random
from array import array

# ---- Notes and chords ----

NOTE_INDEX = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}

CHORD_SHAPES = {
    "": (0, 4, 7),
    "m": (0, 3, 7),
    "7": (0, 4, 7, 10),
    "m7": (0, 3, 7, 10),
    "maj7": (0, 4, 7, 11),
}


def midi(name):
    """'A4' -> 69, 'C#5' -> 73, 'Bb3' -> 58."""
    letter, rest = name[0], name[1:]
    shift = 0
    while rest and rest[0] in "#b":
        shift += 1 if rest[0] == "#" else -1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + NOTE_INDEX[letter] + shift


def freq(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def chord_notes(chord, octave):
    """The chord's notes from its root in the given octave: 'Am', 3 ->
    [57, 60, 64]. The root is a letter with an optional sharp or flat."""
    n = 1 + (1 if len(chord) > 1 and chord[1] in "#b" else 0)
    root = midi(chord[:n] + str(octave))
    return [root + i for i in CHORD_SHAPES[chord[n:]]]


def parse_bar(text):
    """'E5:1.5 D5:.5 r:2' -> [(note or None, beats), ...]."""
    out = []
    for item in text.split():
        name, beats = item.split(":")
        out.append((None if name == "r" else midi(name), float(beats)))
    return out


# ---- Voices ----

def _blep(t, dt):
    """PolyBLEP: smooths a unit step at phase 0 over one sample each side,
    which removes most of the aliasing of a naive pulse wave."""
    if t < dt:
        t /= dt
        return t + t - t * t - 1.0
    if t > 1.0 - dt:
        t = (t - 1.0) / dt
        return t * t + t + t + 1.0
    return 0.0


def envelope(n_gate, n_total, rate, attack, decay, sustain, release):
    """ADSR levels for n_total samples, the key held for n_gate of them.
    Decay and release fall exponentially, as a real voice does."""
    env = [0.0] * n_total
    a = max(1, int(attack * rate))
    dk = math.exp(-1.0 / max(1.0, decay * rate))
    rk = math.exp(-1.0 / max(1.0, release * rate))
    level = 0.0
    for i in range(n_total):
        if i < n_gate:
            if i < a:
                level = (i + 1) / a
            else:
                level = sustain + (level - sustain) * dk
        else:
            level *= rk
        env[i] = level
    return env


def pulse(note, n_gate, rate, duty, adsr, vibrato=0.0, release=0.1):
    """A pulse wave of the given duty cycle, centred on zero. vibrato is a
    depth in semitones that fades in after a fifth of a second."""
    n = n_gate + int(release * rate)
    env = envelope(n_gate, n, rate, *adsr, release)
    f0 = freq(note)
    dc = 2.0 * duty - 1.0
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        f = f0
        if vibrato:
            t = i / rate
            depth = vibrato * min(1.0, max(0.0, (t - 0.2) * 4.0))
            f = f0 * 2.0 ** (depth * math.sin(2 * math.pi * 5.5 * t) / 12.0)
        dt = f / rate
        v = 1.0 if phase < duty else -1.0
        v += _blep(phase, dt)
        p2 = phase - duty
        if p2 < 0.0:
            p2 += 1.0
        v -= _blep(p2, dt)
        out[i] = (v - dc) * env[i]
        phase += dt
        if phase >= 1.0:
            phase -= 1.0
    return out


def triangle(note, n_gate, rate, release=0.03):
    """A triangle wave from its zero crossing, with a short fade in and out
    so that notes join without clicks."""
    n = n_gate + int(release * rate)
    env = envelope(n_gate, n, rate, 0.004, 1.0, 1.0, release)
    dt = freq(note) / rate
    out = [0.0] * n
    phase = 0.25
    for i in range(n):
        out[i] = (4.0 * abs(phase - 0.5) - 1.0) * env[i]
        phase += dt
        if phase >= 1.0:
            phase -= 1.0
    return out


def kick(rate, rng):
    """A sine falling from 150 Hz to 45 Hz, with a little click of noise."""
    n = int(0.32 * rate)
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        t = i / rate
        f = 45.0 + 105.0 * math.exp(-t / 0.03)
        phase += f / rate
        v = math.sin(2 * math.pi * phase) * math.exp(-t / 0.11)
        if i < 0.004 * rate:
            v += 0.5 * rng.uniform(-1.0, 1.0) * (1.0 - t / 0.004)
        out[i] = v
    return out


def noise_hit(rate, rng, seconds, decay, hold, highpass, tone=0.0):
    """Console noise: random levels held for hold samples, high-passed by
    one pole, fading exponentially; tone adds a falling triangle body."""
    n = int(seconds * rate)
    out = [0.0] * n
    x = prev = hp = 0.0
    phase = 0.25
    for i in range(n):
        if i % hold == 0:
            x = rng.uniform(-1.0, 1.0)
        hp = highpass * (hp + x - prev)
        prev = x
        t = i / rate
        v = hp
        if tone:
            phase += (tone * (1.0 + 0.5 * math.exp(-t / 0.02))) / rate
            phase -= int(phase)
            v = 0.7 * v + 0.8 * (4.0 * abs(phase - 0.5) - 1.0) * math.exp(-t / 0.05)
        out[i] = v * math.exp(-t / decay)
    return out


def drum_kit(rate):
    rng = random.Random(1979)
    return {
        "k": kick(rate, rng),
        "s": noise_hit(rate, rng, 0.25, 0.07, 2, 0.75, tone=180.0),
        "h": noise_hit(rate, rng, 0.06, 0.015, 1, 0.4),
        "o": noise_hit(rate, rng, 0.25, 0.08, 1, 0.4),  # open hat
    }


# ---- The tracks ----

class Track:
    """One piece: tempo, chords and melody bar by bar, voice settings."""

    def __init__(self, name, bpm, chords, melody, drums, style):
        assert len(chords) == len(melody) == len(drums)
        self.name = name
        self.bpm = bpm
        self.chords = chords
        self.melody = [parse_bar(b) for b in melody]
        self.drums = drums
        self.style = style
        self.bars = len(chords)
        for i, bar in enumerate(self.melody):
            beats = sum(b for _, b in bar)
            assert abs(beats - 4.0) < 1e-9, "%s bar %d has %g beats" % (name, i + 1, beats)


# Drum patterns on a grid of sixteenths, one string per instrument: kick,
# snare and hat; 'x' strikes, 'o' (hats only) rings open, '.' rests.
def pattern(k="", s="", h=""):
    return {"k": k, "s": s, "h": h}


# Menu: calm, 90 beats a minute, A minor. A (bars 1-8) states the tune over
# a light beat, B (9-16) climbs higher, A' (17-24) brings the tune back and
# ends on E7, which leads into the first bar again.
MENU = Track(
    "Menu", 90,
    chords=["Am", "F", "C", "G", "Am", "F", "G", "E",
            "F", "G", "Em", "Am", "Dm", "G", "C", "E7",
            "Am", "F", "C", "G", "F", "G", "Am", "E7"],
    melody=[
        "A4:1 C5:1 E5:1.5 D5:.5", "C5:1.5 A4:.5 C5:1 F5:1",
        "E5:2 D5:1 C5:1", "D5:2 B4:1 G4:1",
        "A4:1 C5:1 E5:1 A5:1", "G5:1.5 F5:.5 E5:1 C5:1",
        "D5:1 B4:1 D5:1 G5:1", "E5:1.5 D5:.5 B4:1 G#4:1",
        "A4:1 C5:1 F5:2", "G5:1.5 F5:.5 D5:2",
        "E5:1 G5:1 B5:1.5 A5:.5", "A5:2 E5:2",
        "F5:1 E5:1 D5:1 A4:1", "B4:1 D5:1 G5:1.5 F5:.5",
        "E5:1.5 D5:.5 C5:1 E5:1", "D5:2 B4:1 G#4:1",
        "A4:1 C5:1 E5:1.5 D5:.5", "C5:1.5 A4:.5 C5:1 F5:1",
        "E5:2 G5:1 E5:1", "D5:2 B4:1 G4:1",
        "A4:1 C5:1 F5:1 A5:1", "G5:1.5 F5:.5 D5:1 B4:1",
        "C5:1 B4:1 A4:2", "E5:1 D5:1 B4:1 G#4:1",
    ],
    drums=[pattern("x.......x.......", "", "x.x.x.x.x.x.x.x.")] * 8 +
          [pattern("x.....x.x.......", "....x.......x...", "x.x.x.x.x.x.x.x.")] * 7 +
          [pattern("x.....x.x.......", "....x.......x.xx", "x.x.x.x.x.x.x...")] +
          [pattern("x.....x.x.......", "....x.......x...", "x.x.x.x.x.x.x.x.")] * 7 +
          [pattern("x.....x.x.......", "....x.....x.xxxx", "x.x.x.x.x.x.....")],
    style=dict(
        lead_duty=0.5, lead_adsr=(0.012, 0.35, 0.55), lead_release=0.18,
        lead_vibrato=0.25, lead_lowpass=3500.0, lead_octave=0,
        arp_duty=0.25, arp_adsr=(0.002, 0.22, 0.0), arp_step=0.5, arp_lowpass=2500.0,
        arp_order=(0, 1, 2, 1, 3, 2, 1, 2), arp_octave=4,
        bass=((0.0, 1.5, 0), (1.5, 0.5, 7), (2.0, 1.5, 0), (3.5, 0.5, 12)),
        bass_octave=2,
        echo_beats=0.75, echo_feedback=0.3,
        levels=dict(lead=0.34, arp=0.10, bass=0.40, k=0.45, s=0.16, h=0.05, o=0.05),
        pans=dict(lead=-0.15, arp=0.35, bass=0.0, k=0.0, s=0.05, h=0.25, o=0.25),
    ))


# Jouer: upbeat, 140 beats a minute, E minor. A (1-8) a running tune over
# i-VI-III-VII, B (9-16) rises to a climax on the dominant B, A' (17-24)
# repeats the tune with a higher ending, C (25-32) a broader bridge whose
# last bar, on B, turns back into the first.
JOUER = Track(
    "Jouer", 140,
    chords=["Em", "C", "G", "D", "Em", "C", "G", "D",
            "C", "D", "Em", "Em", "C", "D", "B", "B",
            "Em", "C", "G", "D", "Em", "C", "G", "D",
            "Am", "Em", "Am", "B", "C", "G", "D", "B"],
    melody=[
        "B4:.5 E5:.5 G5:.5 F#5:.5 E5:1 B4:1",
        "C5:.5 E5:.5 G5:.5 F#5:.5 E5:1 C5:1",
        "D5:.5 G5:.5 B5:.5 A5:.5 G5:1 D5:.5 G5:.5",
        "F#5:1.5 E5:.5 D5:1 A4:1",
        "B4:.5 E5:.5 G5:.5 F#5:.5 E5:.5 F#5:.5 G5:.5 A5:.5",
        "C6:1 B5:.5 A5:.5 G5:1 E5:1",
        "D5:.5 G5:.5 B5:.5 A5:.5 G5:.5 F#5:.5 G5:.5 A5:.5",
        "F#5:2 r:1 D5:.5 F#5:.5",
        "E5:1 G5:1 E5:.5 D5:.5 C5:1",
        "D5:1 F#5:1 A5:1.5 F#5:.5",
        "G5:1.5 F#5:.5 E5:1 B4:1",
        "E5:.5 F#5:.5 G5:.5 A5:.5 B5:2",
        "C6:1 B5:.5 A5:.5 G5:1 E5:1",
        "F#5:1 A5:1 D6:1.5 C6:.5",
        "B5:1 A5:.5 G5:.5 F#5:1 D#5:1",
        "F#5:2 D#5:1 B4:1",
        "B4:.5 E5:.5 G5:.5 F#5:.5 E5:1 B4:1",
        "C5:.5 E5:.5 G5:.5 F#5:.5 E5:1 C5:1",
        "D5:.5 G5:.5 B5:.5 A5:.5 G5:1 D5:.5 G5:.5",
        "F#5:1.5 E5:.5 D5:1 A4:1",
        "B4:.5 E5:.5 G5:.5 F#5:.5 E5:.5 F#5:.5 G5:.5 A5:.5",
        "C6:1 B5:.5 A5:.5 G5:1 E5:1",
        "D5:.5 G5:.5 B5:.5 D6:.5 B5:.5 A5:.5 G5:.5 A5:.5",
        "F#5:1 A5:1 D6:2",
        "A5:1.5 G5:.5 E5:2",
        "G5:1.5 F#5:.5 E5:1 B4:1",
        "C5:1 E5:1 A5:1 C6:1",
        "B5:3 A5:.5 F#5:.5",
        "G5:1 E5:1 G5:1 C6:1",
        "B5:1.5 A5:.5 G5:1 D5:1",
        "A5:1 F#5:1 D5:1 F#5:1",
        "D#5:1 F#5:1 A5:1 B5:1",
    ],
    drums=([pattern("x.....x.x.......", "....x.......x...", "x.x.x.x.x.x.x.x.")] * 7 +
           [pattern("x.....x.x.......", "....x.......xxxx", "x.x.x.x.x.x.....")] +
           [pattern("x.....x.x.....x.", "....x.......x...", "xxxxxxxxxxxxxxxx")] * 7 +
           [pattern("x.....x.x.......", "....x...x.x.xxxx", "x.x.x.x.........")] +
           [pattern("x.....x.x.......", "....x.......x...", "x.x.x.x.x.x.x.x.")] * 7 +
           [pattern("x.....x.x.......", "....x.......xxxx", "x.x.x.x.x.x.....")] +
           [pattern("x.........x.....", "........x.......", "x.x.x.x.x.x.x.x.")] * 7 +
           [pattern("x.........x.....", "....x...x.x.xxxx", "x.x.x.x.........")]),
    style=dict(
        lead_duty=0.25, lead_adsr=(0.003, 0.12, 0.7), lead_release=0.06,
        lead_vibrato=0.15, lead_lowpass=7000.0, lead_octave=0,
        arp_duty=0.125, arp_adsr=(0.001, 0.06, 0.3), arp_step=0.25, arp_lowpass=6000.0,
        arp_order=(0, 1, 2, 3), arp_octave=4,
        bass=tuple((i * 0.5, 0.45, 12 * (i % 2)) for i in range(8)),
        bass_octave=2,
        echo_beats=0.75, echo_feedback=0.22,
        levels=dict(lead=0.30, arp=0.07, bass=0.42, k=0.50, s=0.24, h=0.055, o=0.06),
        pans=dict(lead=-0.1, arp=0.35, bass=0.0, k=0.0, s=0.05, h=0.3, o=0.3),
    ))


# ---- Rendering ----

def _add(buf, start, seg, gain):
    """Adds gain * seg into buf from start, wrapping round the end of buf,
    so that a note ringing past the end of the track sounds at its start."""
    n = len(buf)
    start %= n
    seg = [gain * v for v in seg]
    while seg:
        k = min(len(seg), n - start)
        buf[start:start + k] = array("d", map(operator.add, buf[start:start + k], seg[:k]))
        seg = seg[k:]
        start = 0


def _lowpass(buf, rate, cutoff):
    """One-pole low-pass run round the loop: a first run over the last
    second warms the filter with what comes before the first sample."""
    a = 1.0 - math.exp(-2.0 * math.pi * cutoff / rate)
    y = 0.0
    for v in buf[-rate:]:
        y += a * (v - y)
    out = array("d", bytes(8 * len(buf)))
    for i, v in enumerate(buf):
        y += a * (v - y)
        out[i] = y
    return out


def _roll(buf, shift):
    shift %= len(buf)
    return buf[-shift:] + buf[:-shift] if shift else buf[:]


def render(track, rate):
    """Plays the track; returns its left and right channels as arrays of
    floats, exactly track.bars bars long."""
    st = track.style
    beat = rate * 60 // track.bpm
    assert beat * track.bpm == rate * 60, "a beat must be a whole number of samples"
    n = beat * 4 * track.bars
    zeros = bytes(8 * n)
    voices = {k: array("d", zeros) for k in ("lead", "arp", "bass", "k", "s", "h", "o")}
    cache = {}

    def cached(key, make):
        if key not in cache:
            cache[key] = make()
        return cache[key]

    for bar in range(track.bars):
        t0 = bar * 4 * beat
        # Melody.
        pos = 0.0
        for note, beats in track.melody[bar]:
            if note is not None:
                note += 12 * st["lead_octave"]
                gate = int(beats * beat * 0.92)
                seg = cached(("lead", note, gate), lambda: pulse(
                    note, gate, rate, st["lead_duty"], st["lead_adsr"],
                    st["lead_vibrato"], st["lead_release"]))
                _add(voices["lead"], t0 + int(round(pos * beat)), seg, 1.0)
            pos += beats
        # Arpeggio over the bar's chord.
        tones = chord_notes(track.chords[bar], st["arp_octave"])
        tones = (tones + [tones[0] + 12])[:4] if len(tones) == 3 else tones
        step = st["arp_step"]
        order = st["arp_order"]
        for i in range(int(round(4 / step))):
            note = tones[order[i % len(order)]]
            gate = int(step * beat * 0.8)
            seg = cached(("arp", note, gate), lambda: pulse(
                note, gate, rate, st["arp_duty"], st["arp_adsr"], 0.0, 0.05))
            _add(voices["arp"], t0 + int(round(i * step * beat)), seg, 1.0)
        # Bass from the chord's root.
        root = chord_notes(track.chords[bar], st["bass_octave"])[0]
        for at, beats, interval in st["bass"]:
            note = root + interval
            gate = int(beats * beat * 0.95)
            seg = cached(("bass", note, gate), lambda: triangle(note, gate, rate))
            _add(voices["bass"], t0 + int(round(at * beat)), seg, 1.0)
        # Drums.
        kit = cached("kit", lambda: drum_kit(rate))
        for inst, hits in track.drums[bar].items():
            for i, c in enumerate(hits):
                if c != ".":
                    name = "o" if c == "o" else inst
                    _add(voices[name], t0 + i * beat // 4, kit[name], 1.0)

    voices["lead"] = _lowpass(voices["lead"], rate, st["lead_lowpass"])
    voices["arp"] = _lowpass(voices["arp"], rate, st["arp_lowpass"])

    left = array("d", zeros)
    right = array("d", zeros)
    for name, buf in voices.items():
        g = st["levels"][name]
        angle = (st["pans"][name] + 1.0) * math.pi / 4.0
        gl, gr = g * math.cos(angle) * math.sqrt(2), g * math.sin(angle) * math.sqrt(2)
        left = array("d", map(lambda a, b: a + gl * b, left, buf))
        right = array("d", map(lambda a, b: a + gr * b, right, buf))

    # A ping-pong echo of the lead, a dotted eighth apart.
    lead = voices["lead"]
    g = st["levels"]["lead"]
    d = int(st["echo_beats"] * beat)
    for k in range(1, 4):
        echo = _roll(lead, k * d)
        amount = g * st["echo_feedback"] ** k
        target = right if k % 2 else left
        mixed = array("d", map(lambda a, b: a + amount * b, target, echo))
        if k % 2:
            right = mixed
        else:
            left = mixed
    return left, right


def normalise(left, right, dbfs):
    """Interleaves the two channels as 16-bit samples whose peak sits at
    dbfs below full scale."""
    peak = max(max(map(abs, left)), max(map(abs, right)))
    scale = 32767.0 * 10.0 ** (dbfs / 20.0) / peak
    out = array("h", bytes(4 * len(left)))
    out[0::2] = array("h", (int(round(v * scale)) for v in left))
    out[1::2] = array("h", (int(round(v * scale)) for v in right))
    return out
