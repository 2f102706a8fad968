#!/usr/bin/python3
"""make_music.py: synthesises Zimbalo's two music tracks, and test fixtures.

    make_music.py [OUTDIR]        writes OUTDIR/Menu.mp3 and OUTDIR/Jouer.mp3
                                  (OUTDIR defaults to the repository's data/)
    make_music.py --fixture DIR   writes the short MP3 files the audio tests use
    make_music.py --wav DIR       also keeps the WAV files next to the MP3s

Everything is computed here from notes written in tools/music_score.py, with
Python's standard library only, and encoded by Debian's `lame`.  The output is
the same on every run: the only randomness (the noise of the drums) comes from
a generator with a fixed seed.
"""

import math
import os
import subprocess
import sys
import tempfile
import wave
from array import array

RATE = 44100


# ---- Files ----

def write_wav(path, rate, channels, samples):
    """Writes interleaved 16-bit samples (a list or array of ints)."""
    data = array("h", samples)
    if sys.byteorder == "big":
        data.byteswap()  # WAV is little-endian
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())


def encode(wav_path, mp3_path, rate, channels, kbps):
    """Encodes a WAV file with lame, constant bit rate.

    lame writes an Info tag holding its encoder delay and padding; a decoder
    that honours it (libmpg123 in gapless mode) gets back exactly the samples
    that went in, which is what lets a track loop without a seam.
    """
    mode = "m" if channels == 1 else "j"
    cmd = ["lame", "--quiet", "--noreplaygain", "-q", "2", "-b", str(kbps),
           "--cbr", "-m", mode, "--resample", "%g" % (rate / 1000.0),
           wav_path, mp3_path]
    subprocess.run(cmd, check=True)


def to_int16(x):
    """Rounds a float in -1..1 to a 16-bit sample, saturating."""
    v = int(round(x * 32767.0))
    return 32767 if v > 32767 else (-32768 if v < -32768 else v)


# ---- Fixtures for the audio tests ----

def tone(rate, channels, seconds, freqs, amp):
    """A plain sine per channel, starting at phase 0."""
    n = int(round(rate * seconds))
    out = []
    for i in range(n):
        for c in range(channels):
            out.append(to_int16(amp * math.sin(2 * math.pi * freqs[c] * i / rate)))
    return out


# name: (rate, channels, seconds, frequencies, amplitude, kbps).  441 Hz and
# 882 Hz fit a whole number of periods into one second at 44.1 kHz, so the
# tones loop without a seam of their own: any seam a test sees is the
# player's.
FIXTURES = {
    "tone44.mp3": (44100, 2, 1.0, (441.0, 882.0), 0.5, 128),
    "loud44.mp3": (44100, 2, 1.0, (441.0, 441.0), 0.9, 128),
    "mono8k.mp3": (8000, 1, 1.0, (440.0,), 0.5, 32),
    "tone48k.mp3": (48000, 2, 1.0, (480.0, 480.0), 0.5, 128),
    "Menu.mp3": (44100, 2, 0.5, (441.0, 441.0), 0.5, 128),
    "Jouer.mp3": (44100, 2, 0.5, (882.0, 882.0), 0.5, 128),
}


def make_fixtures(outdir):
    os.makedirs(outdir, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for name, (rate, ch, secs, freqs, amp, kbps) in sorted(FIXTURES.items()):
            wav = os.path.join(tmp, name + ".wav")
            write_wav(wav, rate, ch, tone(rate, ch, secs, freqs, amp))
            encode(wav, os.path.join(outdir, name), rate, ch, kbps)


# ---- The tracks ----

def make_tracks(outdir, keep_wav):
    import music_score
    os.makedirs(outdir, exist_ok=True)
    for track in (music_score.MENU, music_score.JOUER):
        left, right = music_score.render(track, RATE)
        samples = music_score.normalise(left, right, -0.3)
        with tempfile.TemporaryDirectory() as tmp:
            wav = os.path.join(outdir if keep_wav else tmp, track.name + ".wav")
            write_wav(wav, RATE, 2, samples)
            encode(wav, os.path.join(outdir, track.name + ".mp3"), RATE, 2, 128)
        frames = len(left)
        print("%s.mp3: %d frames, %.2f s, %d bars" % (
            track.name, frames, frames / RATE, track.bars))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    sys.path.insert(0, here)
    if len(argv) == 3 and argv[1] == "--fixture":
        make_fixtures(argv[2])
        return 0
    keep_wav = False
    if len(argv) >= 2 and argv[1] == "--wav":
        keep_wav = True
        argv = argv[1:]
    if len(argv) > 2:
        sys.stderr.write(__doc__)
        return 2
    outdir = argv[1] if len(argv) == 2 else os.path.join(here, "..", "data")
    make_tracks(outdir, keep_wav)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
