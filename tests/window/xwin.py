"""Drives the built game under a private Xvfb: starts the X server and the
game, finds the game's window, reads the screen, moves the pointer, presses
buttons and keys, asks the window to close and collects the exit status.

A test script is run as `python3 test_x.py <path to zimbalo>`; it derives its
cases from GameTest and ends with `xwin.main()`.
"""
import collections
import contextlib
import ctypes
import math
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from Xlib import X, XK, Xatom, display as xdisplay, error as xerror
from Xlib.ext import xtest
from Xlib.protocol import event as xevent

BINARY = None  # the game, from the command line; set by main()
GREY = (48, 48, 48)  # the menu screens' background
PLATE = (125, 124, 124)  # a button's plate
LABEL = (207, 207, 207)  # a button's label; black under the pointer
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
RED, GREEN = (255, 77, 77), (77, 255, 77)  # the orbiting squares
ROWS = (-100, -50, 0, 50)  # the menu screens' button rows, from the centre
POLL = 0.05    # seconds between two looks at a condition

_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent(sig):
    """For a child, before exec: have it sent sig when the test process dies,
    so that no X server or game outlives a test killed by a timeout."""
    return lambda: _libc.prctl(1, sig)  # PR_SET_PDEATHSIG


def wait_until(predicate, timeout=5.0, what="condition"):
    """Polls predicate every 50 ms until it returns a true value, which is
    returned; fails the test after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(POLL)


class Shot:
    """A picture of the screen: 32-bit BGRX rows, as the X server sends them."""

    def __init__(self, data, width, height):
        self.data, self.width, self.height = bytes(data), width, height

    def pixel(self, x, y):
        """(r, g, b) of the point (x, y)."""
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("(%d, %d) is off the %dx%d screen" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 4
        b, g, r = self.data[i:i + 3]
        return (r, g, b)

    def colors(self, x=0, y=0, w=None, h=None):
        """Counter of the (r, g, b) colours in a rectangle (the whole screen by
        default)."""
        w = self.width - x if w is None else w
        h = self.height - y if h is None else h
        counts = collections.Counter()
        for row in range(y, y + h):
            start = (row * self.width + x) * 4
            counts.update(memoryview(self.data[start:start + w * 4]).cast("I"))
        result = collections.Counter()
        for v, n in counts.items():
            result[((v >> 16) & 255, (v >> 8) & 255, v & 255)] += n
        return result

    def find(self, rgb, x=0, y=0, w=None, h=None):
        """The points of a rectangle (the whole picture by default) showing
        exactly the colour rgb, as a list of (x, y)."""
        w = self.width - x if w is None else w
        h = self.height - y if h is None else h
        pattern = re.compile(b"(?=" + re.escape(bytes(reversed(rgb))) + b")")
        points = []
        for row in range(y, y + h):
            start = (row * self.width + x) * 4
            points += [(x + (i - start) // 4, row) for i in
                       (m.start() for m in pattern.finditer(self.data, start, start + w * 4))
                       if i % 4 == 0]
        return points

    def centroid(self, rgb):
        """(x, y, count) of the points showing rgb, or None if there are none."""
        points = self.find(rgb)
        if not points:
            return None
        n = len(points)
        return (sum(p[0] for p in points) / n, sum(p[1] for p in points) / n, n)

    def half(self):
        """The picture at half its width and height, each pixel the mean of a
        block of two by two."""
        w, h, stride = self.width // 2, self.height // 2, self.width * 4
        index = [8 * (k // 4) + k % 4 for k in range(w * 4)]
        out = bytearray()
        for row in range(h):
            a = self.data[2 * row * stride:(2 * row + 1) * stride]
            b = self.data[(2 * row + 1) * stride:(2 * row + 2) * stride]
            out += bytes((a[i] + a[i + 4] + b[i] + b[i + 4] + 2) >> 2 for i in index)
        return Shot(out, w, h)

    def rgb(self):
        """The picture as packed RGB rows."""
        out = bytearray(self.width * self.height * 3)
        out[0::3], out[1::3], out[2::3] = self.data[2::4], self.data[1::4], self.data[0::4]
        return bytes(out)

    def save_png(self, path):
        """Writes the picture as an 8-bit RGB PNG."""
        rgb, stride = self.rgb(), self.width * 3
        raw = b"".join(b"\0" + rgb[r * stride:(r + 1) * stride] for r in range(self.height))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))


class Window:
    """A toplevel window as found on the screen: id, name, absolute x and y,
    width and height; `client` is the largest mapped child as (x, y, width,
    height) in screen coordinates (SDL 1.2 draws into such a child), or the
    window's own rectangle when it has none."""

    def __init__(self, win, name, x, y, width, height, client):
        self.win, self.id, self.name = win, win.id, name
        self.x, self.y, self.width, self.height = x, y, width, height
        self.client = client

    def __repr__(self):
        return "Window(0x%x %r %dx%d+%d+%d)" % (self.id, self.name, self.width,
                                               self.height, self.x, self.y)


class _Closing:
    """A context manager that calls close() on leaving."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Xvfb(_Closing):
    """A private X server on a free display number of its own choosing.
    Use as a context manager, or call close()."""

    def __init__(self, width=1920, height=1080, depth=24):
        self.width, self.height, self.depth = width, height, depth
        self.proc, self.conn = None, None
        rfd, wfd = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(wfd), "-screen", "0",
                 "%dx%dx%d" % (width, height, depth), "-nolisten", "tcp"],
                pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, preexec_fn=_die_with_parent(signal.SIGTERM))
            os.close(wfd)
            wfd = None
            number = b""
            deadline = time.monotonic() + 10
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([rfd], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not start")
                part = os.read(rfd, 16)
                if not part:
                    raise RuntimeError("Xvfb exited with status %s" % self.proc.wait())
                number += part
            self.name = ":" + number.decode().strip()
            self.conn = xdisplay.Display(self.name)
            self.root = self.conn.screen().root
        except BaseException:
            self.close()
            raise
        finally:
            os.close(rfd)
            if wfd is not None:
                os.close(wfd)

    def close(self):
        if self.conn is not None:
            with contextlib.suppress(Exception):
                self.conn.close()
            self.conn = None
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def atom(self, name):
        return self.conn.intern_atom(name)

    # The screen.

    def screenshot(self, x=0, y=0, w=None, h=None):
        """A Shot of the root window, or of a rectangle of it."""
        w = self.width - x if w is None else w
        h = self.height - y if h is None else h
        image = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        if len(image.data) != w * h * 4:
            raise RuntimeError("expected 32-bit pixels, got %d bytes for %dx%d"
                               % (len(image.data), w, h))
        return Shot(image.data, w, h)

    def pixel(self, x, y):
        """(r, g, b) of the screen's point (x, y) now."""
        return self.screenshot(x, y, 1, 1).pixel(0, 0)

    def wait_pixel(self, x, y, rgb, timeout=5.0):
        """Waits until the point (x, y) shows the colour rgb."""
        rgb = tuple(rgb)
        seen = []

        def holds():
            seen[:] = [self.pixel(x, y)]
            return seen[0] == rgb
        try:
            wait_until(holds, timeout, "(%d, %d) to be %s" % (x, y, rgb))
        except AssertionError as e:
            raise AssertionError("%s; it is %s" % (e, seen[0])) from None

    # Windows.

    def _name(self, win):
        prop = win.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
        return prop.value.decode("latin-1") if prop else None

    def windows(self):
        """The mapped toplevel windows, as Window records."""
        found = []
        for win in self.root.query_tree().children:
            try:
                if win.get_attributes().map_state != X.IsViewable:
                    continue
                g = win.get_geometry()
                pos = self.root.translate_coords(win, 0, 0)
                client, area = (pos.x, pos.y, g.width, g.height), 0
                for child in win.query_tree().children:
                    if child.get_attributes().map_state != X.IsViewable:
                        continue
                    cg = child.get_geometry()
                    if cg.width * cg.height > area:
                        cpos = self.root.translate_coords(child, 0, 0)
                        client, area = (cpos.x, cpos.y, cg.width, cg.height), cg.width * cg.height
                found.append(Window(win, self._name(win), pos.x, pos.y, g.width, g.height, client))
            except (xerror.BadWindow, xerror.BadDrawable):  # went away while we looked
                continue
        return found

    def wait_window(self, name="Zimbalo", timeout=5.0, game=None):
        """Waits for a mapped toplevel window named name and returns it. If
        game is given, fails as soon as the game has exited."""
        def find():
            if game is not None and game.proc.poll() is not None:
                status, out, err = game.wait_exit()
                raise AssertionError("the game exited with status %d before its window "
                                     "appeared; stdout %r, stderr %r" % (status, out, err))
            return next((w for w in self.windows() if w.name == name), None)
        return wait_until(find, timeout, "a window named %r" % name)

    def property(self, window, name):
        """The value of a window property (a list of numbers or bytes), or None."""
        win = window.win if isinstance(window, Window) else window
        prop = win.get_full_property(self.atom(name), X.AnyPropertyType)
        return None if prop is None else prop.value

    def close_request(self, window):
        """Sends the window manager's close request (WM_DELETE_WINDOW)."""
        win = window.win if isinstance(window, Window) else window
        msg = xevent.ClientMessage(
            window=win, client_type=self.atom("WM_PROTOCOLS"),
            data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        win.send_event(msg, event_mask=X.NoEventMask)
        self.conn.sync()

    # The pointer and the keyboard, through XTest.

    def pointer(self):
        """Where the pointer is, as (x, y) on the screen."""
        p = self.root.query_pointer()
        return (p.root_x, p.root_y)

    def move(self, x, y):
        """Moves the pointer to the screen's point (x, y)."""
        xtest.fake_input(self.conn, X.MotionNotify, x=x, y=y)
        self.conn.sync()

    def press(self, button=1):
        xtest.fake_input(self.conn, X.ButtonPress, button)
        self.conn.sync()

    def release(self, button=1):
        xtest.fake_input(self.conn, X.ButtonRelease, button)
        self.conn.sync()

    def click(self, button=1, x=None, y=None):
        """Presses and releases a button (1 to 5), first moving to (x, y) if given."""
        if x is not None:
            self.move(x, y)
        self.press(button)
        self.release(button)

    def _keycode(self, key):
        keysym = XK.string_to_keysym(key)
        code = self.conn.keysym_to_keycode(keysym) if keysym else 0
        if not code:
            raise ValueError("no key for %r" % key)
        return code

    def key_down(self, key):
        """Presses a key named as in X (e.g. "Escape", "a", "space", "Return")."""
        xtest.fake_input(self.conn, X.KeyPress, self._keycode(key))
        self.conn.sync()

    def key_up(self, key):
        xtest.fake_input(self.conn, X.KeyRelease, self._keycode(key))
        self.conn.sync()

    def key(self, key):
        """Presses and releases a key."""
        self.key_down(key)
        self.key_up(key)


class Game(_Closing):
    """The game running as a child process, with stdin closed and stdout and
    stderr collected. env maps variables to values, or to None to remove them;
    SDL_AUDIODRIVER defaults to "dummy" and any other SDL_ variable of the
    test's own environment is dropped. display is a display name, an Xvfb, or
    None to leave DISPLAY unset."""

    def __init__(self, display, binary=None, args=(), cwd=None, env=None):
        binary = os.path.abspath(binary or BINARY)
        environ = {k: v for k, v in os.environ.items() if not k.startswith("SDL_")}
        environ.pop("DISPLAY", None)
        if display is not None:
            environ["DISPLAY"] = display.name if isinstance(display, Xvfb) else display
        environ["SDL_AUDIODRIVER"] = "dummy"
        for k, v in (env or {}).items():
            if v is None:
                environ.pop(k, None)
            else:
                environ[k] = v
        self.out, self.err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            [binary, *args], cwd=cwd or os.path.dirname(binary), env=environ,
            stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err,
            start_new_session=True, preexec_fn=_die_with_parent(signal.SIGKILL))
        self.pid = self.proc.pid
        self.started = time.monotonic()

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=5.0):
        """Waits for the game to end and returns (status, stdout, stderr) as
        text; a death by signal N gives status -N. Kills the game and fails
        the test if it is still running after timeout seconds."""
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the game was still running after %.1f s" % timeout) from None
        return status, self._read(self.out), self._read(self.err)

    @staticmethod
    def _read(f):
        f.seek(0)
        return f.read().decode("utf-8", "replace")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def close(self):
        self.kill()
        self.out.close()
        self.err.close()



@contextlib.contextmanager
def data_dir(files, source=None):
    """A temporary directory holding links to the named data files of source
    (default: the game's directory), to run the game with some of them missing."""
    source = source or os.path.dirname(os.path.abspath(BINARY))
    path = tempfile.mkdtemp(prefix="zimbalo-")
    try:
        for f in files:
            os.symlink(os.path.join(source, f), os.path.join(path, f))
        yield path
    finally:
        shutil.rmtree(path)


class GameTest(unittest.TestCase):
    """Base for window tests: X servers and games started through these
    helpers are ended when the case ends, whatever its outcome."""

    def xvfb(self, width=1920, height=1080, depth=24):
        server = Xvfb(width, height, depth)
        self.addCleanup(server.close)
        return server

    def game(self, display, **kwargs):
        """Starts the game (see Game); it is killed at the end of the case."""
        g = Game(display, **kwargs)
        self.addCleanup(g.close)
        return g

    def start(self, width=1920, height=1080, **kwargs):
        """A new X server with the game on it, once its window is up and the
        menu has drawn its first frame: returns (xvfb, game, window). Input
        sent before that may reach a window that does not listen yet."""
        server = self.xvfb(width, height)
        g = self.game(server, **kwargs)
        window = server.wait_window(game=g, timeout=20)
        server.wait_pixel(5, 5, GREY, timeout=20)
        return server, g, window

    def assertCoversDesktop(self, server, window):
        """The window is named "Zimbalo" and covers the desktop exactly, its
        drawing area too."""
        self.assertEqual(window.name, "Zimbalo")
        desktop = (0, 0, server.width, server.height)
        self.assertEqual((window.x, window.y, window.width, window.height), desktop)
        self.assertEqual(window.client, desktop)

    def assertBackground(self, server, rgb=GREY):
        """The screen shows rgb near its corners, where no button or
        decoration comes, and rgb is what most of the screen shows."""
        w, h = server.width, server.height
        server.wait_pixel(w - 1, h - 1, rgb)
        shot = server.screenshot()
        for x, y in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1),
                     (20, 15), (w - 30, 12), (9, h - 25), (w - 30, h - 10)]:
            self.assertEqual(shot.pixel(x, y), rgb, "at (%d, %d)" % (x, y))
        common, count = shot.colors().most_common(1)[0]
        self.assertEqual(common, rgb)
        self.assertGreater(count, w * h // 2)

    def assertPlates(self, shot, rows=ROWS):
        """Each button of a menu screen has its plate, 40 rows high (the
        font's ascent) from 9 rows below the button's row, its left edge 50
        pixels left of the centre. Returns the plates' widths, top to bottom."""
        cx, cy = shot.width // 2, shot.height // 2
        widths = []
        for dy in rows:
            top, where = cy + dy + 9, "plate of row %+d" % dy
            self.assertEqual(shot.pixel(cx - 51, top), GREY, where)
            width = 0
            while shot.pixel(cx - 50 + width, top) == PLATE:
                width += 1
            self.assertGreater(width, 50, where)
            right = cx - 50 + width - 1
            self.assertEqual([shot.pixel(right, y) for y in range(top - 1, top + 41)],
                             [GREY] + [PLATE] * 40 + [GREY], where)
            widths.append(width)
        return widths

    def assertDecoration(self, shot):
        """The red and the green squares stand 300 pixels from the centre, on
        opposite sides of it. Returns the red one's place on its orbit in
        degrees: 0 below the centre, 90 to its right."""
        cx, cy = shot.width // 2, shot.height // 2
        red, green = shot.centroid(RED), shot.centroid(GREEN)
        self.assertTrue(red and green, "red %s, green %s" % (red, green))
        for x, y, n in (red, green):
            self.assertAlmostEqual(math.hypot(x - cx, y - cy), 300, delta=6)
            self.assertGreater(n, 1500)  # a whole 50 x 50 square, its edges smoothed
        self.assertAlmostEqual((red[0] + green[0]) / 2, cx, delta=6)
        self.assertAlmostEqual((red[1] + green[1]) / 2, cy, delta=6)
        return math.degrees(math.atan2(red[0] - cx, red[1] - cy)) % 360

    def assertQuietExit(self, game, status=0, timeout=5.0):
        """The game ends within timeout with status, having printed nothing."""
        got = game.wait_exit(timeout)
        self.assertEqual(got, (status, "", ""), "(status, stdout, stderr)")


def keep_picture(shot, name):
    """When ZIMBALO_SHOTS names a directory, saves shot there at half size as
    name.png, for the documentation; otherwise does nothing."""
    where = os.environ.get("ZIMBALO_SHOTS")
    if where:
        shot.half().save_png(os.path.join(where, name + ".png"))


def main():
    """Runs the cases of the calling script on the game named by the first
    argument; exits 77 (skipped, for ctest) when every case was skipped."""
    global BINARY
    if len(sys.argv) < 2:
        sys.exit("usage: %s <path to zimbalo> [unittest options]" % sys.argv[0])
    BINARY = os.path.abspath(sys.argv.pop(1))
    if not os.access(BINARY, os.X_OK):
        sys.exit("%s: the game is not built (run make)" % BINARY)
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        sys.exit(77)
