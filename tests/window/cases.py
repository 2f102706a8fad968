# The window and install tests: one table of scenarios, each
# written once and played on every platform through driver.py, and the
# rows that only one platform has.  cases.py TABLE ZIMBALO SOURCE_DIR VERSION
# A platform (Linux, Wine, Web, Touch) is data and a few adapters: how the
# game starts and shows its screen, what it checks once its menu shows, in
# a game and back, and how it ends. The exit status is the number of failed
# rows.
import array, base64, functools, glob, gzip, hashlib, io, itertools, json, math, os, random, re, shutil
import signal, struct, subprocess, sys, tempfile, time, zipfile

import numpy
import pefile
import PIL.Image

import driver
from driver import BIN, BLACK, WHITE, Game, Xvfb, until

CASE, SOURCE, VERSION = sys.argv[1], sys.argv[3], sys.argv[4]
COMPAT = os.environ.get("ZIMBALO_SDL_COMPAT")
DATA = tuple(name for name in open(SOURCE + "/data/files.txt").read().split("\n")
             if name and not name.startswith("#"))
SCRATCH = tempfile.mkdtemp(prefix="zimbalo-")


# One line on stderr saying what failed, status 1, nothing on stdout.
def fatal(result, what):
    assert result[:2] == (1, "") and re.fullmatch("zimbalo: [^\n]*%s[^\n]*\n" % what,
                                                  result[2]), result


# A 440 Hz tone, two seconds of it, as lame encodes it with options (once
# for both tracks).
def mp3(*options):
    tone = functools.cache(lambda: subprocess.run(
        ["lame", "--quiet", "-r", "-s", "44.1", *options, "-", "-"], capture_output=True,
        check=True, input=(9000 * numpy.sin(numpy.arange(176400) // 2 * math.pi / 50.11)).astype(
            "<i2").tobytes()).stdout)
    return lambda good: tone()


# Damaged files, then odd but valid MP3s: each makes a file from the good one.
FORMS = {"empty": lambda good: b"", "cut": lambda good: good[:len(good) // 2],
         "garbage": lambda good: random.Random(7).randbytes(len(good)), "VBR": mp3("-V", "2"),
         "ID3v2": mp3("--id3v2-only", "--tt", "Zimbalo", "--pad-id3v2-size", "40000")}
ODD = ("VBR", "ID3v2")  # (other rates, and mono, are audio_tests')


# A directory with the data files, those named in spoilt in a form of FORMS,
# or "missing", "directory", or "fifo" (a named pipe that nothing writes
# to); spoilt's "depth" is that of the folders of 250 characters it lies in.
def data_dir(spoilt):
    here = tempfile.mkdtemp(dir=SCRATCH) + ("/" + "d" * 250) * spoilt.get("depth", 0)
    os.makedirs(here, exist_ok=True)
    for name in DATA:
        good, path, form = os.path.dirname(BIN) + "/" + name, here + "/" + name, spoilt.get(name)
        if form == "directory":
            os.mkdir(path)
        elif form == "fifo":
            os.mkfifo(path)
        elif form in FORMS:
            open(path, "wb").write(FORMS[form](open(good, "rb").read()))
        elif not form:
            os.symlink(good, path)
    return here


# The game in a desktop-sized window, with its music in SDL's disk audio
# driver's file, and a window position of the player's that the game must
# replace; returns (game, window, file).
def start(x, cwd=None, cmd=None):
    raw = tempfile.mktemp(".raw", dir=SCRATCH)
    game = Game(x, cmd, cwd, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw,
                SDL_DISKAUDIODELAY="10", SDL_VIDEO_WINDOW_POS="100,80")
    return game, x.window(game, 20), raw


# The target on the screen: its bounding box (left, top, right, bottom), of
# the commonest colour of a target's size (a browser's note on entering full
# screen is wider).
def target(x):
    s = numpy.array(x.shot()).reshape(x.h, x.w)
    colours, counts = numpy.unique(s[(s != BLACK) & (s != WHITE)], return_counts=True)
    for colour in colours[numpy.argsort(-counts)][:3]:
        y, x_ = numpy.nonzero(s == colour)
        if numpy.ptp(x_) < 200:
            break
    return int(x_.min()), int(y.min()), int(x_.max()), int(y.max())


# Presses the button down on the target until the score changes: its white
# pixels, which no target or blending has. A browser's game (game) is
# stopped while the pointer goes there, since its picture lags behind it.
# A moving target is aimed at as far ahead as it moves while it is read (a
# phone's whole canvas is slow to read).
def hit(x, game=None):
    score = lambda: [v == WHITE for v in x.shot(10, 10, 200, 40)]
    before = score()
    for _ in range(6):
        game and (game.send_signal(signal.SIGSTOP), time.sleep(0.1))
        was, now = target(x), target(x)
        x.xdo("mousemove", *[(2 * (now[i] + now[i + 2]) - was[i] - was[i + 2]) // 2 for i in (0, 1)],
              "mousedown", 1)
        game and game.send_signal(signal.SIGCONT)
        try:
            return until("a hit", lambda: score() != before, 1)
        except AssertionError:
            pass
        finally:
            x.xdo("mouseup", 1)
    raise AssertionError("no hit in six tries")


# A game from the menu button of row dy, whose press and release come apart
# (the button acts on the release), ended by Escape, then a key back to the
# menu (with the plates' widths menu, or else any grey); with aim, a hit
# first (in a browser's game, aim is that game); during is called in the
# game.
def round_trip(x, dy, menu, aim=False, during=lambda: None, key="a"):
    x.xdo("mousemove", x.cx, x.cy + dy + 20, "sleep", 0.1, "mousedown", 1, "sleep", 0.3)
    assert not x.corners(BLACK), "the button acted on the press"
    x.xdo("mouseup", 1)
    until("a game", lambda: x.corners(BLACK))
    if aim:
        hit(x, aim is not True and aim)
    during()
    x.xdo("key", "Escape")
    # (Its score, a little lower in a browser's window that Escape took out
    # of full screen.)
    until("the end screen", lambda: WHITE in x.shot(x.cx - 30, x.cy - 20, 200, 100))
    time.sleep(0.2)
    grey = lambda: driver.GREY in x.shot(0, x.h - 1, x.w, 1)
    assert not grey(), "the end screen did not wait for a key"
    x.xdo("key", key)
    until("the menu", lambda: x.menu() == menu if menu else grey())


# Whether the right channel between two byte offsets, which mono tracks
# reach too, is loud in one sample of ten at least, or with quiet, in none.
def sound(raw, start=0, end=None, quiet=False):
    with open(raw, "rb") as f:
        f.seek(start & ~3)
        right = array.array("h", f.read(None if end is None else (end - start) & ~3))[1::2]
    loud = sum(abs(v) > 500 for v in right)
    assert not loud if quiet else loud * 10 > len(right) > 20000, \
        "%d loud samples of %d, from byte %d" % (loud, len(right), start)


# A track of data/ as 44.1 kHz stereo, decoded by lame rather than by the
# game's libmpg123: [left, right].
@functools.cache
def decoded(name):
    pcm = subprocess.run(["lame", "--quiet", "--decode", "-t", SOURCE + "/data/" + name, "-"],
                         capture_output=True, check=True).stdout
    return numpy.frombuffer(pcm, "<i2").reshape(-1, 2).T.astype(float)


# Whether what the page played (driver.heard) is the track name at the
# game's volume of 0.2: taken back to 44.1 kHz, it is found wherever it
# starts in the track, looped, by the normalised correlation of its left
# channel (on the means of eight samples, from each of eight starts), and
# each channel must then follow the track closely. Sound read as the wrong
# type, or distorted, correlates poorly; another track or silence, not at
# all.
def played(take, name):
    rate, *take = take
    take = numpy.array(take, float)
    if rate != 44100:  # the page's context plays at its own rate
        at = numpy.arange(0, take.shape[1] - 1, rate / 44100)
        take = numpy.array([numpy.interp(at, numpy.arange(take.shape[1]), c) for c in take])
    n, track = take.shape[1], decoded(name)
    loop = numpy.concatenate([track, track[:, :n]], axis=1)
    mean8 = lambda a: a[:len(a) // 8 * 8].reshape(-1, 8).mean(1)
    coarse = mean8(loop[0])
    size = 1 << (len(coarse) + n // 8).bit_length()
    power = numpy.cumsum(numpy.concatenate([[0], coarse ** 2]))
    spectrum, best = numpy.fft.rfft(coarse, size), []
    for skip in range(8):  # the take's first samples skipped, to meet the track's means
        part = mean8(take[0][skip:])
        m = len(part)
        cross = numpy.fft.irfft(spectrum * numpy.fft.rfft(part[::-1], size), size)[m - 1:len(coarse)]
        score = cross / numpy.sqrt(numpy.maximum(power[m:] - power[:-m], power[-1] / 1e6))
        best.append((score.max(), (8 * int(score.argmax()) - skip) % track.shape[1]))
    at = max(best)[1]
    fit = [(numpy.corrcoef(t, r[at:at + n])[0, 1], t @ r[at:at + n] / (r[at:at + n] @ r[at:at + n]))
           for t, r in zip(take, loop)]
    assert all(c > 0.95 and 0.18 < g < 0.22 for c, g in fit), \
        "not %s at 0.2: (correlation, gain) %s at %d Hz" % (name, fit, rate)


# Unusual machines, and none: each row either runs, or is refused in one line.
# A display that comes up just after the game starts is waited for.
def env(row):
    desktop, environment, refused = row
    if desktop == "late":  # a display that appears at once, 0.3 s after the game starts
        x, socket = Xvfb(), "/tmp/.X11-unix/X%d"  # (a killed server leaves its socket)
        n = next(n for n in itertools.count(1000 + os.getpid() % 9000)
                 if not os.path.lexists(socket % n))
        game, late = Game(None, DISPLAY=":%d" % n), socket % n
        time.sleep(0.3)
        os.symlink("X" + x.name[1:], late)
        try:
            x.close_request(x.window(game))
            return until("the end", lambda: game.wait()[:2] == (0, ""))
        finally:
            os.remove(late)
    x = desktop and Xvfb(*desktop)
    game = Game(x, **environment)
    if refused:
        return fatal(game.wait(), refused)
    if not x:  # SDL 2's dummy driver: a game with nothing to show
        time.sleep(1.5)
        assert game.proc.poll() is None, game.wait()
        return
    win = x.window(game)
    if desktop[2] == 24:
        x.menu()
    x.close_request(win)
    status, out, err = game.wait()
    assert (status, out) == (0, "") and re.fullmatch("(zimbalo: [^\n]*\n)?", err), (status, err)


# Runs a command that must succeed; returns its output.
def run(*cmd, env={}, **kw):
    proc = subprocess.run(cmd, env={**os.environ, "MAKEFLAGS": "", **env}, capture_output=True,
                          text=True, **kw)
    assert proc.returncode == 0, (cmd, proc.stdout, proc.stderr)
    return proc.stdout


# The launcher under usr runs the installed program in the installed data
# directory, where it then finds its font and draws its menu.
def launch(usr):
    x, usr = Xvfb(), os.path.realpath(usr)
    game, win, raw = start(x, "/", [usr + "/games/zimbalo"])
    exe, cwd = (os.readlink("/proc/%d/%s" % (game.proc.pid, k)) for k in ("exe", "cwd"))
    assert exe.startswith(usr + "/lib") and cwd.startswith(usr + "/share/"), (exe, cwd)
    x.menu()
    x.close_request(win)
    assert game.wait()[:2] == (0, "")


# Offline, the sdl12-compat fixture skips in one line, without refreshing
# apt's lists.
def scripts():
    stub = SCRATCH + "/bin"
    os.mkdir(stub)
    open(stub + "/apt-get", "w").write("#!/bin/sh\necho $* >>%s/apt; exit 100\n" % stub)
    os.chmod(stub + "/apt-get", 0o755)
    compat = subprocess.run(["sh", SOURCE + "/scripts/sdl12-compat.sh", SCRATCH + "/compat"],
                            env={"PATH": stub + ":/usr/bin:/bin"}, capture_output=True, text=True)
    assert compat.returncode == 0 and compat.stderr.count("\n") == 1, compat
    assert open(stub + "/apt").read() == "download -q libsdl1.2-compat\n"


# `make package` in two build folders outside the checkout, each compiling
# it all: the same bytes, and nothing for lintian to say. A staged install
# of its tree, validated, run and uninstalled; the package's fields, and a
# run from its unpacked files. Building the game leaves the tests and
# benchmarks out.
def package(row):
    scripts()
    assert not re.search(r"(?m)^all: (tests|bench)/all",
                         open(os.path.dirname(BIN) + "/CMakeFiles/Makefile2").read())
    stage, sums = os.path.join(SCRATCH, "stage"), []
    for built in (SCRATCH + "/build", SCRATCH + "/other-build"):
        tree = built + "/package"
        out = run("make", "-C", SOURCE, "package", "BUILD=" + built)
        assert re.search(r"(?m)Building CXX object .*jouer\.cpp", out), out
        deb, = glob.glob(tree + "/zimbalo_%s_*.deb" % VERSION)
        sums.append(hashlib.sha256(open(deb, "rb").read()).hexdigest())
    assert sums[0] == sums[1], sums
    run("lintian", "-I", "-E", "--pedantic", "--fail-on",
        "error,warning,info,pedantic,experimental", deb)
    run("cmake", "--install", tree, env={"DESTDIR": stage})
    run("desktop-file-validate", *glob.glob(stage + "/usr/share/applications/*.desktop"))
    out = run("appstreamcli", "validate", *glob.glob(stage + "/usr/share/metainfo/*.xml"))
    assert "screenshot" not in out, out
    launch(stage + "/usr")
    run("cmake", "--build", tree, "--target", "uninstall", env={"DESTDIR": stage})
    assert not os.path.exists(stage), os.listdir(stage)
    fields = dict(re.findall(r"(?m)^(\w+): (.*)", run("dpkg-deb", "-f", deb)))
    assert fields["Package"] == "zimbalo" and fields["Version"] == VERSION, fields
    assert fields["Section"] == "games" and "@" in fields["Maintainer"], fields
    for lib in ("libsdl1.2debian", "libsdl-ttf2.0-0", "libsdl-gfx1.2-5", "libmpg123-0"):
        assert lib in fields["Depends"], fields
    run("dpkg-deb", "-x", deb, SCRATCH + "/unpacked")
    launch(SCRATCH + "/unpacked/usr")


# ---- The Windows release, unpacked in ZIMBALO_WINE, under Wine ----
WINE = os.environ.get("ZIMBALO_WINE")
if WINE:  # the run's Wine prefix, beside the release; the installers' own
    os.environ.setdefault("WINEPREFIX", os.path.dirname(WINE) + "/wine" +
                          "-install" * (CASE == "windows_install"))
    # No menu entries of this machine's desktop for the Start menu's.
    os.environ["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d"


# A copy of the release of its own in a folder named name, with the files
# of spoilt changed as data_dir does, and the game started from it in cwd
# (its own folder by default). With raw, its music goes to SDL's disk audio
# driver's file. Wine's trace of message boxes goes to stderr.
def windows(x, cwd=None, raw=None, name="zimbalo", spoilt={}):
    here = shutil.copytree(WINE, tempfile.mkdtemp(dir=SCRATCH) + "/" + name)
    for f, form in spoilt.items():
        if os.path.exists(here + "/" + f):
            os.remove(here + "/" + f)
        if form == "directory":
            os.mkdir(here + "/" + f)
    settled()
    return here, Game(x, ["wine", here + "/zimbalo.exe"], cwd or here, WINEDEBUG="-all,trace+msgbox",
                      SDL_AUDIODRIVER=raw and "disk" or "dummy", SDL_DISKAUDIOFILE=raw,
                      SDL_DISKAUDIODELAY="10")


# Waits for the Wine processes of the row before to end: the prefix's
# desktop opens on the display of the first process that needs it, and
# would stay on that row's display, gone, while they last.
def settled():
    subprocess.run(["wineserver", "-w"])


# The text of the message box in Wine's trace (its \xxxx escapes decoded).
def message_box(trace):
    found = re.findall(r'MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', trace)
    assert len(found) == 1, trace
    return re.sub(r"\\([0-9a-f]{4}|.)", lambda m: {"n": "\n", "\\": "\\", '"': '"'}.get(
        m.group(1)) or chr(int(m.group(1), 16)), found[0])


# How Windows names a path of this machine: under the prefix's drive C, or
# through Wine's drive Z.
def windows_path(path):
    drive = os.environ["WINEPREFIX"] + "/drive_c/"
    return (("C:\\" + path[len(drive):]) if path.startswith(drive) else "Z:" + path).replace("/", "\\")


# Stops the game on a frame that shows the picture of frame phase of the
# menu's cycle (which repeats every 360 frames). It runs on for about as
# many frames as are missing, then a few milliseconds at a time.
def stop_at(x, game, phase):
    for _ in range(400):
        game.proc.send_signal(signal.SIGSTOP)
        time.sleep(0.05)
        missing = (phase - x.phase()) % 360
        if not missing:
            return x.shot()
        game.proc.send_signal(signal.SIGCONT)
        time.sleep(0.002 if missing < 3 else (missing - 2) * 0.009)
    raise AssertionError("never stopped on frame %d's picture" % phase)


# The menu that game shows on x, stopped on whatever frame it has reached,
# against the Linux build's picture of the same frame of the menu's cycle,
# on a display of its own: they may differ by levels a channel.
def against_linux(x, game, levels=0):
    x.xdo("mousemove", 0, 0)  # off the buttons, on both systems
    until("the buttons unlit", x.unlit)
    game.proc.send_signal(signal.SIGSTOP)
    # (A browser's own processes go on to show its last frame.)
    got = until("a still picture", lambda: (lambda a: time.sleep(0.1) or a == x.shot() and a)(
        x.shot()))
    phase = x.phase()
    game.proc.send_signal(signal.SIGCONT)
    there = Xvfb(x.w, x.h)
    there.xdo("mousemove", 0, 0)
    linux = Game(there)
    there.window(linux), there.menu()
    expected = stop_at(there, linux, phase)
    far = lambda a, b: max(abs((a >> k & 255) - (b >> k & 255)) for k in (0, 8, 16))
    differ = [(i % x.w, i // x.w) for i, (a, b) in enumerate(zip(expected, got)) if a != b]
    assert all(far(expected[x.w * j + i], got[x.w * j + i]) <= levels for i, j in differ), \
        "frame %d: %d pixels differ, %s" % (phase, len(differ), differ[:10])


# The resources of a Windows program: {(type, id): bytes}, read from the
# resource directory of its PE header (three levels: type, id, language).
def resources(path):
    pe = pefile.PE(path)
    return {(t.id, i.id): pe.get_data(leaf.data.struct.OffsetToData, leaf.data.struct.Size)
            for t in pe.DIRECTORY_ENTRY_RESOURCE.entries for i in t.directory.entries
            for leaf in i.directory.entries}


# The sizes of the icon group (type 14) of a program's resources, and its
# images (type 3) as PNGs by size.
def icons(res):
    group = res[(14, min(i for t, i in res if t == 14))]
    entries = [struct.unpack_from("<BB10xH", group, 6 + 14 * k)
               for k in range(struct.unpack_from("<H", group, 4)[0])]
    return {(w or 256): res[(3, i)] for w, h, i in entries}


# The registry's per-user and all-users software keys, where an install
# writes, as `reg export` writes them.
def registry(wine):
    out = []
    for key in (r"HKCU\Software", r"HKLM\Software"):
        f = tempfile.mktemp(".reg", dir=SCRATCH)
        out += wine("reg", "export", key, f, "/y") == 0 and \
            open(f, encoding="utf-16").read().split("\n\n") or [key + " unread"]
    # Less Wine's own, which it rewrites whenever a desktop starts.
    return [k for k in out if not k.startswith("[HKEY_CURRENT_USER\\Software\\Wine\\")]


# The files of the Wine prefix's drive C, its temporary files aside.
def drive_c():
    top = os.environ["WINEPREFIX"] + "/drive_c"
    return {os.path.relpath(os.path.join(d, f), top) for d, dirs, files in os.walk(top)
            for f in dirs + files if "/Temp" not in d + "/" + f}


BEFORE = []  # drive C and the registry before the installers' rows


# A silent install for the player alone, or with /ALLUSERS, into its
# default folder or into the folder of drive C named, which already holds
# another program's files; the player's installed twice, as an update does.
# Then the game started from its Start-menu entry, and a silent uninstall:
# drive C, what the folder held, and the registry's keys as they were
# before, another program's entry in the player's list of programs among
# them.
def installer(row):
    everyone, folder = row
    x = Xvfb(1280, 720)  # (the game may show a console window over part of its menu)
    wine = lambda *cmd: subprocess.run(
        ["wine", *cmd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env={
            **os.environ, "WINEDEBUG": "-all", "DISPLAY": x.name, "SDL_AUDIODRIVER": "dummy"}
    ).returncode
    settled()
    drive = os.environ["WINEPREFIX"] + "/drive_c/"
    wine("reg", "add", r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Autre", "/v",
         "DisplayName", "/d", "Autre", "/f")
    if not BEFORE:  # (the first row to run takes it; each must leave it so)
        BEFORE.extend((drive_c(), registry(wine)))
    before, keys = BEFORE
    shared = folder and drive + folder
    if folder:  # a foreign program's files, which the uninstall must leave
        os.makedirs(shared + "/sub", exist_ok=True)
        for name in ("other.dll", "README.txt", "sub/data"):
            open(shared + "/" + name, "w").write(name * 3)
    user = glob.glob(drive + "users/*/AppData/Local")[0]
    home = shared + "/Zimbalo" if folder else drive + "Program Files/Zimbalo" if everyone else \
        user + "/Programs/Zimbalo"
    menu = (drive + "ProgramData" if everyone else user + "/../Roaming") + \
        "/Microsoft/Windows/Start Menu/Programs/Zimbalo.lnk"
    options = ["/ALLUSERS"] * everyone + ["/D=C:\\%s" % folder] * bool(folder)
    for _ in range(1 + (not everyone)):
        assert wine(os.path.dirname(WINE) + "/zimbalo-%s-setup.exe" % VERSION, "/S", *options) == 0
    assert sorted(os.listdir(home)) == sorted(os.listdir(WINE) + ["uninstall.exe"]), \
        os.listdir(home)
    entry = subprocess.run(["wine", "reg", "query", (r"HKLM" if everyone else r"HKCU") +
                            r"\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zimbalo"],
                           capture_output=True, text=True, env={**os.environ, "WINEDEBUG": "-all"})
    for value in ("DisplayVersion    REG_SZ    " + VERSION, "Publisher    REG_SZ    The Zimbalo",
                  "DisplayIcon    REG_SZ    %s\\zimbalo.exe,0" % windows_path(home)):
        assert value in entry.stdout, entry.stdout
    assert re.search(r"EstimatedSize    REG_DWORD    0x0*[1-9a-f]", entry.stdout), entry.stdout
    for program in ("zimbalo.exe", "uninstall.exe"):
        assert max(icons(resources(home + "/" + program)).items())[1] == \
            icons(resources(WINE + "/zimbalo.exe"))[256], program
    # start returns once the game is started: the game's end is its window's.
    assert wine("start", "/unix", os.path.normpath(menu)) == 0
    win = x.window(None, 60)
    # Its plates drawn, so its font found. (Wine may show the console window
    # over part of the menu.)
    until("the menu", lambda: driver.PLATE in x.shot(), 30)
    until("the end", lambda: x.close_request(win) or
          win.id not in [w.id for w in x.root.query_tree().children])
    if folder:  # a file of the player's in the game's folder, which stays
        open(home + "/scores.txt", "w").write("mine")
    assert wine(home + "/uninstall.exe", "/S") == 0, "uninstall"
    # The uninstaller goes on in a copy of itself, in a folder ~nsu*.tmp; it
    # is done once it has removed itself and that copy has ended. (A folder
    # seen empty but for the player's file may yet be removed whole.)
    until("the uninstall", lambda: not os.path.exists(home + "/uninstall.exe") and not
          subprocess.run(["pgrep", "-f", "~nsu"], capture_output=True).stdout, 30)
    left = os.listdir(home) if os.path.exists(home) else None
    assert left == (["scores.txt"] if folder else None), left
    shutil.rmtree(home, ignore_errors=True)
    if folder:
        for name in ("other.dll", "README.txt", "sub/data"):
            assert open(shared + "/" + name).read() == name * 3, name
        shutil.rmtree(shared)
    assert drive_c() == before, drive_c() ^ before
    assert registry(wine) == keys, set(registry(wine)) ^ set(keys)


# ---- The browser: the page of `make web` (in ZIMBALO_WEB), in chromium ----
WEB = os.environ.get("ZIMBALO_WEB")
# The pages that cannot start: a file of the folder in a form of FORMS or
# missing, a script that the browser runs first in every page from then on,
# and the line.
BROKEN = {
    "no js": ("zimbalo.js", "missing", None, "zimbalo: cannot download zimbalo.js: 404 .*"),
    "no wasm": ("zimbalo.wasm", "missing", None, "zimbalo: cannot download zimbalo.wasm: 404 .*"),
    "bad wasm": ("zimbalo.wasm", "garbage", None,
                 "zimbalo: zimbalo.wasm does not compile in this browser: .*"),
    "no track": ("Jouer.mp3", "missing", None, "zimbalo: cannot download Jouer.mp3: 404 .*"),
    "bad font": ("game_over.ttf", "garbage", None, "zimbalo: cannot open game_over.ttf in /: .*"),
    # (The back end is given no canvas: the page's own is set aside.)
    "no canvas": (None, None, None, r"zimbalo: cannot open the display: The page has no canvas .*"),
    "no SIMD": (None, None, "WebAssembly.validate = () => false",
                r"zimbalo: this browser lacks WebAssembly's vector instructions \(SIMD\)"),
    "no WebAssembly": (None, None, "delete window.WebAssembly",
                       "zimbalo: this browser does not run WebAssembly"),
}


# Where the page shows the game's picture on x, below the browser's bar and
# centred: (left, top, scale), from its menu's grey along the bottom row and
# up its left edge.
def picture(x):
    left = x.shot(0, x.h - 1, x.w, 1).index(driver.GREY)
    top = x.shot(left + 2, 0, 1, x.h).index(driver.GREY)
    return left, top, (x.w - 2 * left) / x.w


# A phone's screen, as chromium's DevTools emulate one (412 by 915 pixels
# at 2.625 device pixels each, upright) in a page not yet started: what its
# canvas holds, and xdotool's verbs as touches: a click a tap, Escape the
# browser's Back, and any other key a tap.
class Phone(Xvfb):
    def __init__(self, evaluate):
        self.evaluate, self.command, self.at = evaluate, evaluate.command, None
        self.w, self.h, self.cx, self.cy = 412, 915, 206, 457
        self.command("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)

    # The phone held upright, or turned on its side: the canvas keeps its
    # size, and the page shows it whole, centred, at its largest.
    def turn(self, w, h, kind, angle):
        self.view = w, h
        self.command("Emulation.setDeviceMetricsOverride", width=w, height=h,
                     deviceScaleFactor=2.625, mobile=True,
                     screenOrientation={"type": kind, "angle": angle})

    # Where the screen shows the canvas's point (x, y), as a touch point.
    def point(self, x, y, id=0):
        s = min(self.view[0] / self.w, self.view[1] / self.h)
        return {"x": (self.view[0] - self.w * s) / 2 + x * s,
                "y": (self.view[1] - self.h * s) / 2 + y * s, "id": id}

    def shot(self, x=0, y=0, w=0, h=0):
        rgba = numpy.frombuffer(base64.b64decode(self.evaluate("""(bytes => { let s = "";
            for (let i = 0; i < bytes.length; i += 8192)
                s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
            return btoa(s); })(new Uint8Array(Module.canvas.getContext("2d")
                .getImageData(%d, %d, %d, %d).data.buffer))""" % (
            x, y, w or self.w - x, h or self.h - y))), "<u4")
        return ((rgba & 255) << 16 | (rgba & 0xFF00) | (rgba >> 16 & 255)).tolist()

    def xdo(self, *args):
        args = list(args)
        while args:
            verb = args.pop(0)
            if verb == "mousemove":
                self.at = args.pop(0), args.pop(0)
            elif verb == "sleep":
                time.sleep(args.pop(0))
            elif verb == "key" and args.pop(0) == "Escape":
                went = self.command("Page.getNavigationHistory")
                assert went["currentIndex"] > 0, "Back would leave the page"
                self.command("Page.navigateToHistoryEntry",
                             entryId=went["entries"][went["currentIndex"] - 1]["id"])
            else:  # a finger down, up, or both
                for kind, unless in (("touchStart", "mouseup"), ("touchEnd", "mousedown")):
                    if verb != unless:
                        self.command("Input.dispatchTouchEvent", type=kind, touchPoints=[
                            self.point(*(self.at or (5, 5)))] * (kind == "touchStart"))
                verb == "key" or args.pop(0)


# The pages that cannot start, in one browser (BROKEN, or with one, only
# that): each with its one line, in the title and where the canvas was.
def broken(x, name, rows):
    root = tempfile.mkdtemp(dir=SCRATCH)
    for row in rows:
        here, (spoilt, form, script, line) = root + "/" + row.replace(" ", "-"), BROKEN[row]
        shutil.copytree(WEB, here)
        if form == "missing":
            os.remove(here + "/" + spoilt)
        elif form:
            open(here + "/" + spoilt, "wb").write(FORMS[form](open(here + "/" + spoilt, "rb").read()))
    for i, row in enumerate(rows):
        path, (spoilt, form, script, line) = row.replace(" ", "-") + "/index.html", BROKEN[row]
        if i == 0:
            game, page, evaluate, log = driver.browser(x, root, False, name=name, path=path)
        else:
            if script:  # a browser that lacks something, as the page sees one
                evaluate.command("Page.enable")
                evaluate.command("Page.addScriptToEvaluateOnNewDocument", source=script)
            evaluate.command("Page.navigate", url=re.sub("[^/]*/index.html$", path, page()["url"]))
            until("the page", lambda: page()["url"].endswith(path) and (
                driver.title(x) == "Zimbalo" or re.fullmatch(line, driver.title(x))))
            row == "no canvas" and evaluate("Module.canvas = null")
            driver.begin(x)
        until("the line of " + row, lambda: re.fullmatch(line, driver.title(x)))
        if evaluate:
            assert driver.title(x) == evaluate("document.getElementById('message').innerText")
        assert max(v & 255 for v in x.shot(0, x.cy - 20, x.w, 40)) > 128, "no line shown"


# ---- The platforms: what each does its own way in the shared scenarios ----
class Platform:
    # The screen's size, the key that leaves the end screen, whether Escape
    # leaves the picture scaled, and whether the picture lags behind the
    # pointer (hit() then stops the game while it moves).
    size, key, rescaled, lags = (640, 480), "a", False, False

    def __repr__(self):
        return self.name

    # What it checks once the menu shows, before any press; in the timed
    # game, after the hit; and back at the menu from that game. (Each has
    # its own way out, end.)
    def shown(self, x, game, menu): pass

    def during(self, x): pass

    def back(self, x, game, menu): pass


# The built game (on sdl12-compat where LD_LIBRARY_PATH leads there), with
# the data files of spoilt (data_dir), its music in SDL's disk audio
# driver's file: borderless, as large as the screen, replacing the player's
# window position. It is the other platforms' reference, and the only one
# that a close request ends. A bad track leaves it playing, silent where
# that track plays, with at most one line naming it; a cut one plays by
# itself; odd but valid tracks play without a word.
class Linux(Platform):
    def __init__(self, spoilt={}):
        self.spoilt, self.parts, self.name = spoilt, {}, "linux %s" % spoilt

    def start(self, x):
        here = os.path.realpath(data_dir(self.spoilt))
        game, self.win, self.raw = start(x, here)
        g, pos = self.win.get_geometry(), x.root.translate_coords(self.win, 0, 0)
        assert (pos.x, pos.y, g.width, g.height) == (0, 0, x.w, x.h), (pos, g)
        hints = self.win.get_full_property(x.atom("_MOTIF_WM_HINTS"), 0)
        assert hints and hints.value[0] & 2 and hints.value[2] == 0, "the window asks for a frame"
        return x, game

    def listen(self, track):  # a second of what the game writes, which must be track
        start = os.path.getsize(self.raw)
        time.sleep(1)
        self.parts[track] = (start, os.path.getsize(self.raw))

    def during(self, x):
        self.listen("Jouer.mp3")

    def back(self, x, game, menu):
        self.listen("Menu.mp3")

    def end(self, x, game, menu):
        x.close_request(self.win)
        status, out, err = game.wait()
        # A cut track still holds frames to play.
        bad = sorted(n for n, f in self.spoilt.items() if f not in ODD + ("cut",))
        named = re.findall("(?m)^zimbalo: cannot play (\\S+): .*$", err)
        assert (status, out) == (0, "") and sorted(named) == bad, err
        assert len(re.findall("(?m)^zimbalo", err)) == len(bad), err
        for track, part in self.parts.items():
            sound(self.raw, *part, quiet=track in bad)

    def font_line(self, x):  # the folder searched is the one it runs in
        here = os.path.realpath(data_dir(self.spoilt))
        status, out, err = Game(x, cwd=here).wait()
        assert (status, out) == (1, ""), (status, out, err)
        return err, here


# The Windows release under Wine: a copy of its own, started from another
# folder (it must find its data in its own), its music in SDL's disk audio
# driver's file. Its menu is the Linux build's, pixel for pixel, and
# "Quitter" ends it with status 0 and no line. With closed, the player may
# not write beside the program.
class Wine(Platform):
    size = (1280, 720)  # the frame compared at the size of the others

    def __init__(self, closed=False):
        self.closed, self.name = closed, "wine" + ", closed" * closed

    def start(self, x):
        self.raw = tempfile.mktemp(".raw", dir=SCRATCH)
        game = windows(x, SCRATCH, self.raw)[1]
        x.window(game, 60)
        return x, game

    def shown(self, x, game, menu):
        against_linux(x, game)

    def end(self, x, game, menu):
        x.click(-50 + 20)  # Quitter
        # (SDL's disk audio driver says on stderr where it writes.)
        status, out, err = game.wait()
        assert (status, out) == (0, "") and "zimbalo:" not in err, (status, out, err)
        sound(self.raw)

    # In a folder named outside Latin-1; where the program's folder is
    # closed (stderr.txt a folder), the line goes to the player's own. It
    # is also shown in a message box, which waits for a key.
    def font_line(self, x):
        spoilt = {"game_over.ttf": "missing", **({"stderr.txt": "directory"} if self.closed else {})}
        here, game = windows(x, name="Jeux é 日本", spoilt=spoilt)
        x.window(game, 60)
        time.sleep(1)
        assert game.proc.poll() is None, "no message box"
        x.xdo("key", "Return")
        status, out, err = game.wait()
        kept = (glob.glob(os.environ["WINEPREFIX"] + "/drive_c/users/*/AppData/Local")[0] +
                "/Zimbalo") if self.closed else here
        line = open(kept + "/stderr.txt", encoding="utf-8").read()
        # (Its standard error, where a terminal would show the line too.)
        assert (status, out) == (1, "") and line in err, (status, out, err)
        assert message_box(err) == line[:-1] + "\n\nThis message is also saved in %s\\stderr.txt" \
            % windows_path(kept), err
        self.closed and shutil.rmtree(kept)
        return line, windows_path(here)


# The page of `make web` in the browser engine name on a screen of 1280x720
# (the frame compared at the size of the others), started by a click, or in
# chromium by a key, in full screen; the one Escape that ends a game also
# leaves full screen outside chromium's kiosk, and the picture is then
# scaled. Its menu is within 2 levels a channel of the Linux build's, and
# "Quitter" leads to the end page, the server asked only for the files of
# the folder to publish. In chromium, each track is heard where it plays.
class Web(Platform):
    size, lags = (1280, 720), True

    def __init__(self, name):
        self.name, self.rescaled = name, name in ("firefox", "webkit")
        self.key = "1" if name == "chromium" else "a"

    def start(self, x):
        chromium = self.name == "chromium"
        self.game, self.page, self.evaluate, self.log = driver.browser(
            x, WEB, listen=chromium, name=self.name, key=chromium and "space")
        return x, self.game

    def shown(self, x, game, menu):
        if self.rescaled:  # once WebKit's note on leaving full screen, left of the buttons, has gone
            until("the browser's note", lambda: len(set(x.shot(300, 300, 280, 100))) < 10)
            against_linux(x, game, 2)

    # In chromium, what the page plays is taken; 1 goes down and, Shift held,
    # comes up as "!": the game must still see it come up, and take 1 on the
    # end screen.
    def during(self, x):
        if self.name == "chromium":
            self.took = driver.heard(self.evaluate)
            x.xdo("keydown", "1", "keydown", "shift", "keyup", "1", "keyup", "shift")

    def back(self, x, game, menu):
        if self.rescaled:
            # Out of full screen the picture keeps its shape (the red square,
            # turned, spreads as far up as across; the browser's bar above,
            # which shows the page's icon, left out). (Any picture caught
            # while the window still settles is measured again.)
            left, top, scale = picture(x)
            def square():
                y, x_ = numpy.nonzero(numpy.array(x.shot(0, top)).reshape(-1, x.w) == 0xFF4D4D)
                return abs(y.std() / x_.std() - 1) < 0.02
            assert scale < 0.95, picture(x)
            return until("a square square", square, 3)
        played(self.took, "Jouer.mp3")
        assert self.evaluate.command("Page.getInstallabilityErrors") == {"installabilityErrors": []}
        played(driver.heard(self.evaluate), "Menu.mp3")
        # Sound that the browser suspends comes back at the next gesture.
        self.evaluate("Module.zimbaloAudio.suspend()")
        until("the sound suspended",
              lambda: self.evaluate("Module.zimbaloAudio.state") == "suspended")
        x.xdo("mousemove", 2, x.h - 2, "click", 1)  # off the buttons
        until("the sound again", lambda: self.evaluate("Module.zimbaloAudio.state") == "running")
        against_linux(x, game, 2)  # once chromium's note on leaving full screen has gone
        # Everything it loaded came from its own origin.
        origin = re.match(r"https?://[^/]+/", self.page()["url"]).group()
        loaded = self.evaluate("performance.getEntriesByType('resource').map(e => e.name)")
        assert loaded and all(u.startswith(origin) for u in loaded), loaded

    def end(self, x, game, menu):
        # A click near the right end of "Quitter"'s plate, where the picture
        # shows it: a press that forgot the picture's margin or scale misses.
        left, top, scale = picture(x)
        x.xdo("mousemove", left + (x.cx + 90) * scale, top + (x.cy - 30) * scale, "click", 1)
        # Its French, as the player reads it from a server that names no
        # character set (in chromium, whose page DevTools reads).
        until("the end page", lambda: self.evaluate(
            "location.pathname.endsWith('/fin.html') && document.body.innerText") ==
            "Merci d'avoir joué à Zimbalo.\n\nRejouer" if self.evaluate else
            driver.PLATE not in x.shot() and driver.GREY in x.shot(x.cx - 20, x.cy - 60, 40, 40))
        asked = lambda: set(re.findall(r'"GET /(\S*) HTTP', open(self.log).read()))
        # The server asked for the folder's files alone, each kept by the
        # service worker (in chromium, once it serves); with the server
        # gone, the page comes back from it, and starts: its menu needs them.
        until("every file kept", lambda: asked() == set(os.listdir(WEB)) and (not self.evaluate or
              self.evaluate("navigator.serviceWorker.ready.then(r => r.active.state)") == "activated"))
        self.game.server.kill()
        self.again(x)
        x.menu(30)

    def again(self, x):  # "Rejouer", and the game started
        if self.name != "chromium":
            x.xdo("key", "Tab", "key", "Return")
            return driver.begin(x)
        # In the kiosk, pressed again while the end page (all grey) shows: a
        # press made as it still settles may be lost. The page's a key starts.
        keys = lambda: ("Tab", "Return") if x.shot(5, 5, 1, 1) == [driver.GREY] else ("space",)
        until("the game", lambda: x.xdo("key", *keys()) or time.sleep(0.5) or driver.running(x), 60)

    def font_line(self, x):  # the line in the title and where the canvas was
        broken(x, self.name, ["bad font"])
        return driver.title(x) + "\n", "/"


# A phone's touch screen (Phone) in chromium: everything by touch, with no
# zoom; a game ended by the browser's Back.
class Touch(Web):
    size, lags = (800, 600), False  # (its canvas is read as it is drawn)

    def start(self, x):
        self.game, self.page, self.evaluate, self.log = driver.browser(
            x, WEB, listen=False, start=False)
        phone = Phone(self.evaluate)
        self.again(phone, False)
        return phone, self.game

    def again(self, phone, back=True):  # upright, back to the app's start, a tap
        phone.turn(412, 915, "portraitPrimary", 0)
        back and self.evaluate.command("Page.navigate", url=re.sub(  # where the app starts
            "fin.html$", "", self.page()["url"]))
        until("the game", lambda: phone.xdo("mousemove", 5, 5, "click", 1) or time.sleep(0.5) or
              self.evaluate("Module.canvas.width") == phone.w, 30)

    def back(self, phone, game, menu):
        round_trip(phone, 0, menu)  # a free game, ended by Back too
        phone.xdo("mousemove", 20, 20, "click", 1, "click", 1)  # a double tap
        # A second finger while the first is down is no press: put on
        # "Options", moved and lifted alone, then with the first, it does
        # not open it.
        for kind, points in (("touchStart", [(20, 20)]),
                             ("touchStart", [(20, 20), (phone.cx, phone.cy + 70)]),
                             ("touchMove", [(20, 20), (phone.cx + 10, phone.cy + 75)]),
                             ("touchMove", [(20, 20)]), ("touchEnd", [])):
            self.evaluate.command("Input.dispatchTouchEvent", type=kind,
                                  touchPoints=[phone.point(*p, id) for id, p in enumerate(points)])
        time.sleep(0.5)
        assert self.evaluate("visualViewport.scale") == 1 and phone.menu() == menu, \
            "zoomed, or Options"
        # Each of the game's pixels a solid block on the dense screen: the
        # buttons show no colour that the canvas does not hold there.
        p, q = (phone.point(phone.cx + dx, phone.cy + dy) for dx, dy in ((-60, -100), (200, 100)))
        shot = PIL.Image.open(io.BytesIO(base64.b64decode(self.evaluate.command(
            "Page.captureScreenshot")["data"]))).convert("RGB").crop(
            [round(2.625 * v) for v in (p["x"], p["y"], q["x"], q["y"])])
        blends = set(numpy.asarray(shot).reshape(-1, 3) @ [65536, 256, 1]) - set(
            phone.shot(phone.cx - 60, phone.cy - 100, 260, 200))
        assert not blends, "%d colours blended" % len(blends)
        # Turned on its side, the picture narrow in the middle of the screen:
        # a hit on the small target, then "Quitter" near its plate's end.
        phone.turn(915, 412, "landscapePrimary", 90)
        round_trip(phone, -100, menu, aim=True)


# ---- The scenarios that every platform plays ----

# The session: the game started, its menu, the platform's own checks of
# it, the options and back by "Facile", a timed game from
# "Jouer" with a hit, ended by Escape and left by a key, back to the same
# menu, then the platform's own checks and way out.
def session(p):
    x, game = p.start(Xvfb(*p.size))
    menu = x.menu(30)
    p.shown(x, game, menu)
    for dy, back in ((50, False), (-100, True)):
        x.click(dy + 20)
        until("the menu" if back else "the options screen", lambda: (x.menu() == menu) == back)
    round_trip(x, -100, None if p.rescaled else menu, aim=game if p.lags else True,
               during=lambda: p.during(x), key=p.key)
    p.back(x, game, menu)
    p.end(x, game, menu)


# A damaged or missing font: the game ends in one line naming the folder it
# searched.
def font(p):
    line, folder = p.font_line(Xvfb(800, 600))
    assert re.fullmatch(r"zimbalo: cannot open game_over\.ttf in %s: [^\n]*\n" % re.escape(folder),
                        line), (line, folder)


# A signal in the menu, the options screen or a game: the game ends by it
# within a second.
def signalled(row):
    sig, place = row
    x = Xvfb()
    game = Game(x)
    x.window(game)
    menu = x.menu()
    if place != "menu":
        x.click(50 + 20 if place == "options" else -100 + 20)
        until(place, lambda: x.menu() != menu if place == "options" else x.corners(BLACK))
    game.proc.send_signal(sig)
    assert game.wait(1)[0] == -sig


# ---- The rows that one platform alone has ----

# The Windows release's zip: its folder, whole, and nothing else.
def zip_contents(_):
    top = os.path.basename(WINE) + "/"
    names = ["zimbalo.exe", "SDL.dll", "libmpg123-0.dll", "LICENSE", "README.txt", *DATA] + \
        ["licences/%s.txt" % n for n in ("sdl", "mpg123", "freetype", "mingw-w64")]
    got = sorted(zipfile.ZipFile(WINE + ".zip").namelist())
    assert got == sorted(top + n for n in names), got


# What Windows reads of the program and the installer: the manifest, the
# icons, the version and its texts.
def windows_resources(_):
    res = resources(WINE + "/zimbalo.exe")
    manifest = res[(24, 1)].decode()
    for part in ("<dpiAware", ">true/pm<", ">PerMonitorV2, PerMonitor<", 'level="asInvoker"',
                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):  # Windows 10 and 11
        assert part in manifest, part
    images = icons(res)
    assert sorted(images) == [16, 24, 32, 48, 64, 128, 256], sorted(images)
    for size, png in images.items():  # each a PNG of its size
        assert png[:8] == b"\x89PNG\r\n\x1a\n" and \
            struct.unpack(">II", png[16:24]) == (size, size), size
    version = res[(16, 1)]
    v = [int(n) for n in (VERSION + ".0").split(".")]  # as numbers, after a signature
    assert struct.unpack_from("<I4xII", version, 40) == (
        0xFEEF04BD, v[0] << 16 | v[1], v[2] << 16 | v[3]), version[:60]
    assert "ProductVersion\0{}\0".format(VERSION).encode("utf-16-le") in version
    setup = resources(os.path.dirname(WINE) + "/zimbalo-%s-setup.exe" % VERSION)
    assert images[256] in icons(setup).values(), "the installer's icon"
    assert 'level="asInvoker"' in setup[(24, 1)].decode(), "the installer asks for rights"


# The page and all it loads, at most 3 MB gzip-compressed; the app's icons
# of the sizes its manifest gives.
def page_size(_):
    sent = sum(len(gzip.compress(open(f, "rb").read())) for f in glob.glob(WEB + "/*"))
    assert sent <= 3000000, sent
    for icon in json.load(open(WEB + "/manifest.webmanifest"))["icons"]:
        assert "%dx%d" % PIL.Image.open(WEB + "/" + icon["src"]).size == icon["sizes"], icon


# The pages that cannot start, in one chromium (the font's row is chromium's
# case of the shared scenario, font).
def broken_pages(_):
    broken(Xvfb(800, 600), "chromium", list(BROKEN))


# A new build of the page replaces the old whole, by the second load at the
# latest, and the old build's cache goes; a build that cannot be kept whole
# (a track missing) never serves, and the one before plays on. The builds: the
# page's, and copies with a track changed or missing, each with its own
# service worker as scripts/web.sh names it.
def update(_):
    root = tempfile.mkdtemp(dir=SCRATCH)
    for later, build in enumerate(("old", "new", "broken")):
        here = shutil.copytree(WEB, root + "/" + build)
        build == "new" and open(here + "/Menu.mp3", "ab").write(bytes(417))  # a decoder skips them
        build == "broken" and os.remove(here + "/Jouer.mp3")
        name = run("sh", SOURCE + "/scripts/web-cache.sh", here).strip()
        sw = open(here + "/sw.js").read()
        open(here + "/sw.js", "w").write(re.sub('CACHE = "[^"]*"', 'CACHE = "%s"' % name, sw))
        os.utime(here + "/sw.js", (time.time() + 3600 * later,) * 2)  # published in turn
    os.symlink("old", root + "/site")
    x = Xvfb(800, 600)
    game, page, evaluate, log = driver.browser(x, root, False, start=False, path="site/")
    kept = lambda: (evaluate("caches.keys()"), evaluate(
        "fetch('Menu.mp3').then(r => r.ok && +r.headers.get('Content-Length'))"))
    until("the page kept", lambda: evaluate("navigator.serviceWorker.ready.then(r => r.active.state)")
          == "activated")
    old = kept()
    for build in ("new", "broken"):
        os.remove(root + "/site")
        os.symlink(build, root + "/site")
        evaluate.command("Page.reload")
        if build == "new":
            # (Asked every half second: a page busy with the asking does
            # not make way for the new build at once.)
            new = until("the new build", lambda: time.sleep(0.5) or len(kept()[0]) == 1 and
                        kept()[1] == old[1] + 417 and kept(), 20)
    # The broken build's service worker tried to keep it, and failed.
    until("the broken build tried", lambda: "Jouer.mp3 HTTP/1.1\" 404" in open(log).read())
    time.sleep(1)
    assert kept() == new and evaluate("fetch('Jouer.mp3').then(r => r.ok)"), kept()


# Lighthouse's audit of the page, on Debian's chromium: accessibility, best
# practices and SEO at 100. (Its performance score, a timing, is make
# bench's.)
def audit(_):
    report = json.loads(run(
        "node", os.path.dirname(BIN) + "/lighthouse/node_modules/lighthouse/cli/index.js",
        driver.serve(WEB)[0], "--output=json", "--quiet", "--chrome-flags=--headless=new --no-sandbox",
        "--only-categories=accessibility,best-practices,seo", env={"CHROME_PATH": "/usr/bin/chromium"}))
    assert all(c["score"] == 1 for c in report["categories"].values()), [
        (a["id"], a["score"]) for a in report["audits"].values() if a["score"] not in (None, 1)]


# The page in chromium, started by one click while the game is still on its
# way (the page loaded again at 1 MB/s): it starts once loaded, after
# showing the data's download. Then the keys, the wheel and the pointer
# through the back end, and "Hardcore": small targets, and a clock.
def page_options(_):
    x = Xvfb(1280, 720)  # the countdown clear of chromium's note
    x.xdo("mousemove", 0, 0)
    game, page, evaluate, log = driver.browser(x, WEB, listen=False, start=False)
    evaluate.command("Network.enable")
    evaluate.command("Network.emulateNetworkConditions", offline=False, latency=0,
                     downloadThroughput=1000000, uploadThroughput=-1)
    evaluate.command("Network.setBypassServiceWorker", bypass=True)  # as at a first visit
    # (Its .wasm said to be of no type: it compiles once all in.)
    evaluate.command("Page.enable")
    evaluate.command("Page.addScriptToEvaluateOnNewDocument", source="""fetch = (f => (...a) =>
        f(...a).then(r => r.url.endsWith(".wasm") ? new Response(r.body) : r))(fetch)""")
    evaluate.command("Page.reload", ignoreCache=True)
    until("the page again", lambda: evaluate("document.readyState") == "complete")
    assert not evaluate("performance.getEntriesByType('resource')"
                        ".some(e => e.name.endsWith('.wasm'))"), "the game came too soon"
    x.xdo("click", 1)
    until("the download", lambda: re.fullmatch(
        r"Zimbalo: chargement… \d+ %", evaluate("document.getElementById('message').innerText")))
    until("the game", lambda: driver.PLATE in x.shot(x.cx - 51, x.cy - 80, 260, 1), 30)
    menu = x.menu()
    # Each key the page names goes down as an SDL key of its own, none
    # unknown: two that shared one would lose a release between them.
    # Their events are taken back before the game can see them.
    names = ("Backspace Tab Clear Enter Pause Escape Delete ArrowUp ArrowDown ArrowRight "
             "ArrowLeft Insert Home End PageUp PageDown NumLock CapsLock ScrollLock AltGraph "
             "PrintScreen ContextMenu ShiftRight ShiftLeft ControlRight ControlLeft AltRight "
             "AltLeft MetaRight MetaLeft OSRight OSLeft NumpadDecimal NumpadDivide "
             "NumpadMultiply NumpadSubtract NumpadAdd NumpadEnter NumpadEqual").split() + \
        ["F%d" % n for n in range(1, 16)] + ["Numpad%d" % n for n in range(10)]
    keys = evaluate("""(names => { const q = Module.zimbaloQueue, n = q.length;
        const keys = names.map(name => { const e = {type: "keydown", code: name, key: name};
            Module.zimbaloDomEvent(e); const key = q[q.length - 3];
            Module.zimbaloDomEvent({...e, type: "keyup"}); return key; });
        q.length = n; return keys; })(%s)""" % names)
    assert 0 not in keys and len(set(keys)) == len(names), dict(zip(names, keys))
    # A wheel turned up, then down, is SDL's button 4, then 5, pressed and
    # released where the pointer is, as on X11.
    got = evaluate("""(() => { const q = Module.zimbaloQueue, n = q.length;
        for (const e of [{type: "mousemove"}, {type: "wheel", deltaY: -3},
                         {type: "wheel", deltaY: 3}])
            Module.zimbaloDomEvent({...e, clientX: 300, clientY: 200});
        const got = q.slice(n); q.length = n; return got; })()""")
    at = got[1:3]
    assert got == [1, *at, 0] + [k for b in (4, 5) for k in (2, b, *at, 3, b, *at)] and \
        at[0] != at[1], got
    # The pointer over "Jouer", once unlit, lights it: its label turns black.
    until("an unlit button", x.unlit)
    x.xdo("mousemove", x.cx, x.cy - 80)
    until("a lit button", lambda: not x.unlit())
    x.click(50 + 20)
    until("the options screen", lambda: x.menu() != menu)
    x.click(50 + 20)
    until("the menu", lambda: x.menu() == menu)
    x.click(-100 + 20)
    until("a game", lambda: x.corners(BLACK))
    # Hardcore's countdown, which the page's clock moves once a second,
    # and its targets, 40 to 70 pixels a side where others are larger
    # (once chromium's note on entering full screen, at the top, has gone).
    ticks = []
    for _ in range(2):
        shown = [v == WHITE for v in x.shot(10, 50, 300, 35)]
        ticks.append(until("a second counted", lambda: shown != [
            v == WHITE for v in x.shot(10, 50, 300, 35)] and time.monotonic()))
    assert 0.8 < ticks[1] - ticks[0] < 1.2, ticks
    until("the note gone", lambda: len(set(x.shot(x.cx - 300, 0, 600, 130))) <= 3)
    left, top, right, bottom = target(x)
    assert max(right - left, bottom - top) < 70, (left, top, right, bottom)
    # A held key that comes up while the page has lost the keyboard goes
    # down again on the end screen, and leaves it.
    key = lambda: evaluate.command("Input.dispatchKeyEvent", type="keyDown", code="KeyA",
                                   key="a", text="a")
    key(), evaluate("dispatchEvent(new Event('blur'))")
    x.xdo("key", "Escape")
    until("the end screen", lambda: WHITE in x.shot(x.cx - 30, x.cy - 20, 200, 60))
    key()
    until("the menu", lambda: x.menu() == menu)


# Each table's rows: (scenario, platform), or a row that one platform alone has.
TABLES = {
    "start": [(env, row) for row in (
        ("late", {}, None),
        *((None, given, "cannot open the display") for given in (
            {"TERM": "no-such-terminal"}, {"DISPLAY": ""}, {"DISPLAY": ":99999"})),
        # SDL 1.2's dummy driver has no desktop size; SDL 2's has one.
        (None, {"DISPLAY": ":99999", "SDL_VIDEODRIVER": "dummy"},
         not COMPAT and "cannot open the window"),
    )],
    "env": [(env, row) for row in (
        ((640, 480, 24), {"SDL_AUDIODRIVER": "no-such-driver"}, None),
        ((640, 480, 24), {"SDL_AUDIODRIVER": "alsa", "AUDIODEV": "no-such-device"}, None),
        # A row of 16384 pixels of 4 bytes needs more than a 16-bit pitch.
        ((16384, 64, 24), {}, "cannot open the window"),
        # sdl12-compat has no renderer for 8 and 15 bits.
        *(((640, 480, bits), {}, COMPAT and "cannot open the window") for bits in (8, 15)),
        ((640, 480, 16), {}, None), ((640, 480, 30), {}, None),
    )],
    "play": [(session, Linux())] + [(signalled, (sig, place)) for sig in
                                    (signal.SIGINT, signal.SIGTERM)
                                    for place in ("menu", "options", "game")],
    "data": [(font if name == "game_over.ttf" else session, Linux({name: form}))
             for name in DATA for form in ("missing", "empty", "cut", "garbage", "directory", "fifo")]
    # The line names the whole of a long path.
    + [(font, Linux({"game_over.ttf": "missing", "depth": 5}))]
    + [(session, Linux({"Menu.mp3": form, "Jouer.mp3": form})) for form in ODD],
    "install": [(package, None)],
    # (ALONE: one at a time. Wine's processes in one prefix share a desktop,
    # which a game stopped on a frame would hold up.)
    "windows": [(zip_contents, None), (windows_resources, None), (session, Wine()),
                (font, Wine()), (font, Wine(closed=True))],
    # In a prefix of their own, beside the others: they compare drive C and
    # the registry before and after.
    "windows_install": [(installer, row) for row in ((False, None), (True, None), (True, "Jeux"))],
    "web": [(page_size, None), (session, Web("chromium")), (page_options, None),
            (session, Touch("touch")), (broken_pages, None),
            (update, None)],
    "audit": [(audit, None)],
    **{name: [(session, Web(name)), (font, Web(name))] for name in ("firefox", "webkit")},
}
ALONE = ("windows", "windows_install", "web", "firefox", "webkit")

if __name__ == "__main__":
    # A timeout's SIGTERM ends the rows' browsers and games too.
    signal.signal(signal.SIGTERM, lambda *_: (driver.reap(), shutil.rmtree(SCRATCH, True),
                                              os._exit(1)))
    try:
        if COMPAT and not os.path.exists(COMPAT + "/lib/libSDL-1.2.so.0"):
            sys.exit(print("skipped: no sdl12-compat in " + COMPAT) or 77)
        if CASE in ("web", "firefox", "webkit", "audit") and not os.path.exists(WEB + "/zimbalo.wasm"):
            sys.exit(print("skipped: no page in " + WEB) or 77)
        if CASE == "audit" and not os.path.exists(os.path.dirname(BIN) + "/lighthouse/node_modules"):
            sys.exit(print("skipped: no Lighthouse, which npm could not install") or 77)
        if CASE.startswith("windows") and not os.path.exists(WINE + "/zimbalo.exe"):
            sys.exit(print("skipped: no Windows release in " + WINE) or 77)
        sys.exit(driver.table(TABLES[CASE], 1 if CASE in ALONE else 3))
    finally:
        driver.reap()
        shutil.rmtree(SCRATCH, ignore_errors=True)
