"""Shared by the install tests: private build trees, a private Xvfb, and the
checks that an installed launcher runs the program in its data directory.

Each test script is run as `python3 test_x.py <source dir> <work dir>
<version>`: it builds in <work dir>, which it empties first.
"""
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest

SOURCE = WORK = VERSION = None  # from the command line; set by main()
DATA = ("game_over.ttf", "Menu.mp3", "Jouer.mp3")
ID = "io.github.zimbalo.Zimbalo"


def environment(**changes):
    """The test's environment without what an outer make or install would
    leak into ours (its jobserver, a DESTDIR), with changes applied; a value
    of None removes a variable."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "DESTDIR")}
    for k, v in changes.items():
        if v is None:
            env.pop(k, None)
        else:
            env[k] = v
    return env


def run(*cmd, env=None, **kw):
    """Runs a command that must succeed; returns its standard output."""
    proc = subprocess.run(cmd, env=env or environment(), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, **kw)
    if proc.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (" ".join(cmd), proc.returncode,
                                                        proc.stdout, proc.stderr))
    return proc.stdout


def build_tree(name, *cache_args):
    """Configures and builds the game with its tests and benchmarks off in
    WORK/<name>; returns the tree's path."""
    tree = os.path.join(WORK, name)
    run("cmake", "-S", SOURCE, "-B", tree, "-DZIMBALO_TESTS=OFF", "-DZIMBALO_BENCH=OFF",
        *cache_args)
    run("cmake", "--build", tree, "-j", "2")
    return tree


def listing(root):
    """Every path under root, relative to it, directories ending in '/'."""
    found = set()
    for top, dirs, files in os.walk(root):
        rel = os.path.relpath(top, root)
        for d in dirs:
            found.add(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            found.add(os.path.normpath(os.path.join(rel, f)))
    return found


@contextlib.contextmanager
def xvfb():
    """A private X server; yields its display name."""
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24", "-nolisten", "tcp",
         "-noreset"],
        pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    try:
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                byte = pipe.read(1)
                if not byte:
                    raise RuntimeError("Xvfb did not start")
                number += byte
        yield ":" + number.decode().strip()
    finally:
        server.terminate()
        server.wait()


def stop(proc):
    """Ends a game: SDL turns SIGTERM into a request to quit."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def run_failing(launcher, cwd, **env):
    """Runs a launcher that must fail; returns its standard error."""
    proc = subprocess.run([launcher], cwd=cwd, env=environment(SDL_AUDIODRIVER="dummy", **env),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=30)
    if proc.returncode != 1:
        raise AssertionError("%s ended with status %d, not 1; stderr: %r"
                             % (launcher, proc.returncode, proc.stderr))
    return proc.stderr


class LauncherChecks:
    """Mixed into a TestCase that has self.display (an X server) and
    self.work (a scratch directory): checks an installed launcher, given the
    real paths that it should reach."""

    def assertRunsGame(self, launcher, program, datadir):
        """Started through a symbolic link, from another directory and with
        arguments, the launcher becomes the program (it execs it), in the
        data directory, with the arguments passed on; the game then stays up,
        so it found its font there, and its window has the class that the
        desktop entry names."""
        link = os.path.join(self.work, "link-to-zimbalo")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(launcher, link)
        args = ["two words", "--", "*"]
        log_path = os.path.join(self.work, "game.log")
        with open(log_path, "w+") as log:
            game = subprocess.Popen([link] + args, cwd="/", stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=log,
                                    env=environment(DISPLAY=self.display,
                                                    SDL_AUDIODRIVER="dummy",
                                                    SDL_VIDEODRIVER=None))
            try:
                self.checkGame(game, link, program, datadir, args, log_path)
            finally:
                stop(game)

    def checkGame(self, game, link, program, datadir, args, log_path):
        def ended():
            with open(log_path) as log:
                return "the game ended (%d): %r" % (game.returncode, log.read())
        deadline = time.monotonic() + 10
        exe = None
        while exe != os.path.realpath(program):
            if game.poll() is not None:
                self.fail(ended())
            if time.monotonic() > deadline:
                self.fail("%s never became %s (it is %s)" % (link, program, exe))
            time.sleep(0.05)
            with contextlib.suppress(OSError):
                exe = os.readlink("/proc/%d/exe" % game.pid)
        self.assertEqual(os.readlink("/proc/%d/cwd" % game.pid), os.path.realpath(datadir))
        with open("/proc/%d/cmdline" % game.pid, "rb") as f:
            argv = f.read().decode().split("\0")[:-1]
        self.assertEqual(argv[1:], args)
        time.sleep(1.5)
        if game.poll() is not None:
            self.fail(ended())
        # Its window's class is the one that the desktop entry announces.
        with open(os.path.join(SOURCE, "dist", ID + ".desktop")) as f:
            wm_class = re.search(r"(?m)^StartupWMClass=(.*)$", f.read()).group(1)
        windows = run("xwininfo", "-display", self.display, "-root", "-children")
        self.assertRegex(windows, r'\("[^"]*" "%s"\)' % re.escape(wm_class))

    def assertFailsWithoutDisplay(self, launcher):
        """With no X display the program itself says so, on one line, and
        ends with status 1: the launcher found it and ran it."""
        err = run_failing(launcher, "/", DISPLAY=None, SDL_VIDEODRIVER="x11")
        self.assertRegex(err, r"\Azimbalo: [^\n]+\n\Z")
        self.assertNotIn("data directory", err)  # the launcher's own complaint

    def assertNeedsItsFont(self, root, launcher_rel, datadir_rel):
        """A copy of the installed tree without the font fails for want of
        it: the program looks for it in the data directory."""
        copy = os.path.join(self.work, "without-font")
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(root, copy, symlinks=True)
        os.remove(os.path.join(copy, datadir_rel, "game_over.ttf"))
        err = run_failing(os.path.join(copy, launcher_rel), "/", DISPLAY=self.display,
                          SDL_VIDEODRIVER=None)
        self.assertRegex(err, r"\Azimbalo: cannot open game_over\.ttf[^\n]*\n\Z")
        shutil.rmtree(copy)


def check_manual(test, text, paths):
    """The manual page renders without a warning, has its sections, and
    names the installed paths."""
    proc = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=text,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          env=environment(LC_ALL="C.UTF-8"))
    test.assertEqual((proc.returncode, proc.stderr), (0, ""))
    for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "CONTROLS",
                    "ENVIRONMENT", "FILES", "EXIT STATUS"):
        test.assertRegex(text, r"(?m)^\.SH %s$" % section)
    test.assertNotIn("@", text)
    for path in paths:
        test.assertRegex(text, r"(?m)^\.I %s$" % re.escape(path))


def main():
    global SOURCE, WORK, VERSION
    if len(sys.argv) < 4:
        sys.exit("usage: %s <source dir> <work dir> <version>" % sys.argv[0])
    SOURCE, WORK = (os.path.abspath(a) for a in sys.argv[1:3])
    VERSION = sys.argv[3]
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)


def expected_files(bindir, programdir, datadir, man):
    """The installed files, relative to the prefix, with their modes."""
    files = {os.path.join(bindir, "zimbalo"): 0o755,
             os.path.join(programdir, "zimbalo"): 0o755,
             "share/applications/%s.desktop" % ID: 0o644,
             "share/metainfo/%s.metainfo.xml" % ID: 0o644,
             "share/icons/hicolor/scalable/apps/%s.svg" % ID: 0o644,
             "share/man/man6/" + man: 0o644}
    for name in DATA:
        files[os.path.join(datadir, name)] = 0o644
    for size in (64, 128, 256):
        files["share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, ID)] = 0o644
    return files


def sources(datadir):
    """Installed file (relative to the prefix) -> the source it copies."""
    pairs = {os.path.join(datadir, name): os.path.join(SOURCE, "data", name) for name in DATA}
    pairs["share/applications/%s.desktop" % ID] = os.path.join(SOURCE, "dist", ID + ".desktop")
    pairs["share/metainfo/%s.metainfo.xml" % ID] = os.path.join(SOURCE, "dist",
                                                                 ID + ".metainfo.xml")
    for size in ("64x64", "128x128", "256x256", "scalable"):
        name = ID + (".svg" if size == "scalable" else ".png")
        pairs["share/icons/hicolor/%s/apps/%s" % (size, name)] = os.path.join(
            SOURCE, "dist", "icons", size, name)
    return pairs
