"""Helpers for the fault tests: damaged data files, odd but valid MP3s made
with lame, the sound that SDL's disk audio driver writes, the screen at any
depth, a whole play-through of the menus, and several games at once, each
on an X server of its own."""
import array
import concurrent.futures
import contextlib
import math
import os
import random
import re
import subprocess
import time
import wave

from Xlib import X

import xwin

DATA = ("game_over.ttf", "Menu.mp3", "Jouer.mp3")
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
PLATE, LABEL = (125, 124, 124), (207, 207, 207)
RED, GREEN = (255, 77, 77), (77, 255, 77)
MENU_ROWS = (-100, -50, 0, 50)  # the buttons' rows, from the centre
TONE = 440.0                    # Hz, the tone of the generated MP3s

# Where sdl12-compat is unpacked when the tests run on it (set by
# CMake for the window_compat_* tests), else None.
COMPAT = os.environ.get("ZIMBALO_SDL_COMPAT") or None

# Damaged forms of any data file, then valid MP3s of unusual kinds.
FORMS = ("missing", "empty", "half", "random", "directory", "dangling link")
ODD_MP3 = {  # form: lame options, and the WAV's rate and channels
    "8 kHz mono": (["-m", "m", "-b", "16", "--resample", "8"], 8000, 1),
    "48 kHz": (["-b", "160", "--resample", "48"], 48000, 2),
    "VBR": (["-V", "2"], 44100, 2),
    "ID3v2 tags": (["-b", "128", "--id3v2-only", "--tt", "Zimbalo test", "--ta",
                    "Nobody", "--tl", "Faults", "--pad-id3v2-size", "40000"], 44100, 2),
}


def spoil(directory, name, form):
    """Puts the data file name into directory in a damaged form (the good
    copy is the one beside the game)."""
    path = os.path.join(directory, name)
    good = os.path.join(os.path.dirname(xwin.BINARY), name)
    if form == "empty":
        open(path, "wb").close()
    elif form == "half":
        with open(good, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(data[:len(data) // 2])
    elif form == "random":
        with open(path, "wb") as f:
            f.write(random.Random(1234).randbytes(os.path.getsize(good)))
    elif form == "directory":
        os.mkdir(path)
    elif form == "dangling link":
        os.symlink(os.path.join(directory, "gone", name), path)
    elif form != "missing":
        raise ValueError(form)


def truncate_glyphs(source, target):
    """Copies a TrueType font with the second half of its glyf table zeroed:
    the tables stay where they were, the outlines of many glyphs are gone."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    for i in range(int.from_bytes(data[4:6], "big")):
        entry = 12 + 16 * i
        offset, length = (int.from_bytes(data[entry + k:entry + k + 4], "big") for k in (8, 12))
        if data[entry:entry + 4] == b"glyf":
            data[offset + length // 2:offset + length] = bytes(length - length // 2)
            break
    else:
        raise ValueError("%s has no glyf table" % source)
    with open(target, "wb") as f:
        f.write(data)


def make_mp3(path, form, seconds=3.0):
    """Encodes a tone of TONE Hz into path as the odd MP3 form of ODD_MP3."""
    options, rate, channels = ODD_MP3[form]
    wav = path + ".wav"
    with wave.open(wav, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = array.array("h")
        for i in range(int(seconds * rate)):
            v = int(12000 * math.sin(2 * math.pi * TONE * i / rate))
            frames.extend([v] * channels)
        w.writeframes(frames.tobytes())
    subprocess.run(["lame", "--quiet", *options, wav, path], check=True, timeout=60)
    os.remove(wav)


@contextlib.contextmanager
def case_dir(spoilt=(), extra=None):
    """A working directory with the good data files except those named in
    spoilt, a list of (name, form); extra maps more names to files to link."""
    bad = dict(spoilt)
    with xwin.data_dir([f for f in DATA if f not in bad]) as here:
        for name, form in bad.items():
            if form in ODD_MP3 or form == "odd glyphs":
                os.symlink(extra[form], os.path.join(here, name))
            else:
                spoil(here, name, form)
        yield here


# ---- Sound ----

# What SDL's disk driver itself prints when it opens (SDL 1.2, then SDL 2).
_DISK_DRIVER_NOISE = re.compile(
    r"^(WARNING: |CRITICAL: )?(You are using the SDL disk .*audio driver!|\s*Writing to file \[.*\]\.)$")


def disk_audio(directory):
    """The environment that makes SDL mix into directory/audio.raw, as fast
    as a buffer every 10 ms."""
    return {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": os.path.join(directory, "audio.raw"),
            "SDL_DISKAUDIODELAY": "10"}


def program_lines(err):
    """The lines of stderr, without the disk audio driver's own notice."""
    return [l for l in err.splitlines() if not _DISK_DRIVER_NOISE.match(l)]


def listen(directory, seconds=0.4, settle=0.2):
    """The 16-bit stereo samples that the disk driver writes during seconds,
    after settle seconds."""
    path = os.path.join(directory, "audio.raw")
    time.sleep(settle)
    start = os.path.getsize(path) if os.path.exists(path) else 0
    time.sleep(seconds)
    end = os.path.getsize(path) if os.path.exists(path) else 0
    start, end = start - start % 4, end - end % 4
    samples = array.array("h")
    with open(path, "rb") as f:
        f.seek(start)
        samples.frombytes(f.read(end - start))
    return samples


def tone(samples, rate=44100, level=1000):
    """The frequency of the left channel, from the median time between two
    rises through zero (with level as hysteresis), so that a gap where the
    track loops does not count."""
    rises, low = [], False
    for i, v in enumerate(samples[0::2]):
        if v < -level:
            low = True
        elif v > level and low:
            rises.append(i)
            low = False
    periods = sorted(b - a for a, b in zip(rises, rises[1:]))
    return rate / periods[len(periods) // 2] if periods else 0.0


def check_sound(samples, want, what):
    """want: "silence", "sound" (anything loud enough) or "tone" (TONE Hz,
    2 % off at most), or None for no check."""
    if want is None:
        return
    if len(samples) < 2 * 4096:
        raise AssertionError("%s: the audio device wrote only %d frames" % (what, len(samples) // 2))
    loudest = max(map(abs, samples))
    if want == "silence" and loudest:
        raise AssertionError("%s: sound (peak %d) where silence was due" % (what, loudest))
    if want in ("sound", "tone") and loudest < 1000:
        raise AssertionError("%s: silence (peak %d) where music was due" % (what, loudest))
    if want == "tone" and abs(tone(samples) - TONE) > TONE * 0.02:
        raise AssertionError("%s: a tone of %.0f Hz where %.0f Hz was due"
                             % (what, tone(samples), TONE))


# ---- The screen ----

_WIDEN = None  # 16-bit pixel -> its BGRX bytes


def grab(server, x, y, w, h):
    """A Shot of a rectangle of the screen, at depth 16 as well as 24 (16-bit
    pixels widened to 8 bits a component, as c << 3 | c >> 2)."""
    global _WIDEN
    if server.depth >= 24:
        return server.screenshot(x, y, w, h)
    if _WIDEN is None:
        _WIDEN = [bytes(((p & 31) << 3 | (p & 31) >> 2, (p >> 5 & 63) << 2 | (p >> 5 & 63) >> 4,
                         (p >> 11) << 3 | (p >> 11) >> 2, 0)) for p in range(65536)]
    data = server.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
    return xwin.Shot(b"".join(map(_WIDEN.__getitem__, array.array("H", bytes(data)))), w, h)


def centroid(shot, rgb, tol=0):
    """The mean (x, y) of the pixels of a Shot near the colour rgb, and their
    number."""
    keys = {r << 16 | g << 8 | b for (r, g, b) in shot.colors() if near((r, g, b), rgb, tol)}
    words, sx, sy, n = memoryview(shot.data).cast("I"), 0, 0, 0
    for y in range(shot.height):
        for x, v in enumerate(words[y * shot.width:(y + 1) * shot.width]):
            if v & 0xFFFFFF in keys:
                sx, sy, n = sx + x, sy + y, n + 1
    return (sx / n if n else None, sy / n if n else None, n)


def tolerance(server):
    return 0 if server.depth >= 24 else 8


def near(rgb, want, tol=0):
    return all(abs(a - b) <= tol for a, b in zip(rgb, want))


def corners(server):
    w, h = server.width, server.height
    return [grab(server, x, y, 1, 1).pixel(0, 0) for x, y in
            [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)]]


def wait_screen(server, rgb, timeout=10.0, game=None):
    """Waits until three corners of the screen show rgb (a game's target can
    hide the fourth)."""
    tol, seen = tolerance(server), []

    def holds():
        if game is not None and not game.running():
            raise AssertionError("the game ended (%r) while waiting for %s" % (game.wait_exit(), rgb))
        seen[:] = corners(server)
        return sum(near(c, rgb, tol) for c in seen) >= 3
    try:
        xwin.wait_until(holds, timeout, "the screen to turn %s" % (rgb,))
    except AssertionError as e:
        raise AssertionError("%s; corners %s" % (e, seen)) from None


def plate_widths(server, rows=MENU_ROWS):
    """For each button row, the run of non-background pixels from the
    centre minus 50 rightwards, on the line 20 pixels below the row; each
    run must start exactly there (nothing but background just left of it)."""
    cx, cy, tol = server.width // 2, server.height // 2, tolerance(server)
    span = min(700, server.width - (cx - 51))
    widths = []
    for dy in rows:
        line = grab(server, cx - 51, cy + dy + 20, span, 1)
        if not near(line.pixel(0, 0), xwin.GREY, tol) or near(line.pixel(1, 0), xwin.GREY, tol):
            raise AssertionError("no button edge at (%d, %d): %s then %s" % (
                cx - 50, cy + dy + 20, line.pixel(0, 0), line.pixel(1, 0)))
        n = 1
        while n < span and not near(line.pixel(n, 0), xwin.GREY, tol):
            n += 1
        widths.append(n - 1)
    return widths


def labels_shown(server, widths, rows=MENU_ROWS):
    """Whether every plate shows some of its label, normal or hovered."""
    cx, cy, tol = server.width // 2, server.height // 2, tolerance(server)
    for dy, w in zip(rows, widths):
        colours = grab(server, cx - 50, cy + dy, w, 60).colors()
        if not any(near(c, LABEL, tol) or near(c, BLACK, tol) for c in colours):
            return False
    return True


def wait_menu(server, game=None, widths=None):
    """Waits for a menu screen (background and four labelled buttons
    standing at the centre minus 50) and returns its plate widths; with
    widths, waits for a screen whose plates have those widths."""
    wait_screen(server, xwin.GREY, game=game)
    seen = []

    def check():
        try:
            seen[:] = [plate_widths(server)]
        except AssertionError as e:  # a screen in between
            seen[:] = [str(e)]
            return False
        return (widths is None or seen[0] == list(widths)) and labels_shown(server, seen[0])
    try:
        xwin.wait_until(check, 5, "labelled plates")
    except AssertionError as e:
        raise AssertionError("%s of widths %s; seen %s" % (e, widths, seen[0])) from None
    return seen[0]


def wait_white(server, x, y, w, h, timeout=5.0):
    """Waits for white (text) in a rectangle; returns the Shot of it."""
    return xwin.wait_until(lambda: (lambda s: s if s.colors()[WHITE] else None)(grab(server, x, y, w, h)),
                           timeout, "white text in (%d, %d, %d, %d)" % (x, y, w, h))


# ---- Playing ----

def start_game(server, game, x, y):
    """Releases the mouse over (x, y) in the menu; waits for the game's black."""
    server.move(x, y)
    time.sleep(0.1)  # the hover frame first, as a player's hand would give it
    server.click()
    wait_screen(server, BLACK, game=game)
    wait_white(server, 10, 10, 300, 80)  # the score


def end_game(server, game, menu_widths):
    """Escape, the end screen's score in the middle, a key, the menu again."""
    w, h = server.width, server.height
    server.key("Escape")
    wait_white(server, w // 2 - 30, h // 2 - 20, 200, 80)
    time.sleep(0.2)
    if not near(corners(server)[0], BLACK, tolerance(server)):
        raise AssertionError("the end screen did not wait for a key")
    server.key("a")
    wait_menu(server, game, menu_widths)


def play(server, game, sound=None, options=False, finish="close"):
    """Plays through: the menu, a timed game ("Jouer") and a free one ("Jeu
    Libre"), each ended by Escape and a key; with options, the options
    screen and the preset "Difficile"; then a close request, or a release
    over "Quitter" with finish="quit". sound is None or (directory, menu,
    game), the sound due in the menu and in a game (see check_sound).
    Returns (status, stdout, stderr)."""
    window = server.wait_window(game=game, timeout=10)
    cx, cy = server.width // 2, server.height // 2
    widths = wait_menu(server, game)
    if sound:
        check_sound(listen(sound[0]), sound[1], "the menu's music")
    start_game(server, game, cx, cy - 100 + 20)
    if sound:
        check_sound(listen(sound[0]), sound[2], "the game's music")
    end_game(server, game, widths)
    start_game(server, game, cx, cy + 20)
    end_game(server, game, widths)
    if options:
        server.move(cx, cy + 50 + 20)
        time.sleep(0.1)
        server.click()
        xwin.wait_until(lambda: plate_widths(server) != widths, 5, "the options screen")
        wait_screen(server, xwin.GREY, game=game)
        server.move(cx, cy + 20)
        time.sleep(0.1)
        server.click()
        wait_menu(server, game, widths)
    if finish == "quit":
        server.move(cx, cy - 50 + 20)
        time.sleep(0.1)
        server.click()
    else:
        server.close_request(window)
    return game.wait_exit(5)


def in_parallel(cases, run, workers=3):
    """Runs run(case) for each case on worker threads (each run starts its
    own X server); returns [(case, exception or None)] in order."""
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        futures = [pool.submit(run, case) for case in cases]
        return [(case, f.exception()) for case, f in zip(cases, futures)]


def report(test, results):
    """Turns the outcome of in_parallel into one subtest per case."""
    for case, exc in results:
        with test.subTest(case=case):
            if exc is not None:
                raise exc


def sdl_library(pid):
    """The path of the libSDL-1.2 that the process pid has mapped."""
    with open("/proc/%d/maps" % pid) as f:
        paths = {line.split(None, 5)[-1].strip() for line in f if "libSDL-1.2.so" in line}
    if len(paths) != 1:
        raise AssertionError("libSDL-1.2 mapped from %s" % sorted(paths))
    return paths.pop()

