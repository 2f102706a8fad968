# The one driver of the Python tests: runs the built game, or an installed
# launcher, on a private Xvfb; reads the screen through Xlib, gives real
# input through xdotool, and collects the exit status and the output.
import collections, concurrent.futures, ctypes, glob, json, math, os, re, socket, subprocess, sys
import shutil, tempfile, threading, time, urllib.request
import traceback

import numpy
import websocket

from Xlib import X, display, error, ext
from Xlib.protocol import event

# Xlib imports a server's extensions at its first connection: all of them
# now, since rows that connect at once from several threads would otherwise
# find one another's half imported.
for _, _module in ext.__extensions__:
    __import__("Xlib.ext." + _module)

GREY, PLATE, BLACK, WHITE = 0x303030, 0x7D7C7C, 0, 0xFFFFFF
ROWS = (-100, -50, 0, 50)  # the menu screens' button rows, from the centre
BIN = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
TAKE = 1 << 15  # the frames of the page's sound that heard() takes


# The processes that each thread started, ended when its row ends. They get
# SIGKILL when the test dies too, even at a ctest timeout (prctl).
LIVE = collections.defaultdict(list)


def spawn(cmd, **kw):
    proc = subprocess.Popen(cmd, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, 9), **kw)
    LIVE[threading.get_ident()].append(proc)
    return proc


# Ends the processes that the thread started (all of them when it is None),
# and a browser's whole session with its browser.
def reap(thread=None):
    for ident in [thread] if thread else list(LIVE):
        for proc in LIVE.pop(ident, []):
            try:
                os.killpg(proc.pid, 9) if os.getpgid(proc.pid) == proc.pid else proc.kill()
            except OSError:
                pass
            proc.wait()


# Polls test every 50 ms until it gives a true value, which it returns.
def until(what, test, timeout=10):
    end = time.monotonic() + timeout
    while not (value := test()):
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)
    return value


class Xvfb:
    def __init__(self, w=640, h=480, depth=24):
        self.w, self.h, self.cx, self.cy = w, h, w // 2, h // 2
        r, wr = os.pipe()
        spawn(["Xvfb", "-displayfd", str(wr), "-nolisten", "tcp", "-screen", "0",
               "%dx%dx%d" % (w, h, depth)], pass_fds=[wr],
              stderr=subprocess.DEVNULL)
        os.close(wr)
        with os.fdopen(r) as f:
            self.name = ":" + f.readline().strip()
        self.conn = display.Display(self.name)
        self.root = self.conn.screen().root
        self.atom = self.conn.intern_atom
        self.atom("_MOTIF_WM_HINTS")  # made, as by a window manager: SDL 1.2 uses it then

    # The pixels of a rectangle, as 0xRRGGBB, row after row (24-bit screens).
    def shot(self, x=0, y=0, w=0, h=0):
        image = self.root.get_image(x, y, w or self.w - x, h or self.h - y, X.ZPixmap, 0xFFFFFFFF)
        return (numpy.frombuffer(image.data, "<u4") & 0xFFFFFF).tolist()

    # Which frame of the menu's cycle of 360 the screen shows, counted from
    # 1: the red square stands on its orbit at the angle of the frame before.
    def phase(self):
        data = self.root.get_image(0, 0, self.w, self.h, X.ZPixmap, 0xFFFFFFFF).data
        red = [m.start() // 4 for m in re.finditer(b"(?=\x4d\x4d\xff)", data) if m.start() % 4 == 0]
        px, py = sum(i % self.w for i in red) / len(red), sum(i // self.w for i in red) / len(red)
        at = lambda a: (self.cx + int(300 * math.sin(math.radians(a))),
                        self.cy + int(300 * math.cos(math.radians(a))))
        return (1 + min(range(360), key=lambda a: math.dist(at(a), (px, py)))) % 360

    def corners(self, rgb):
        return all(self.shot(x, y, 1, 1) == [rgb] for x in (0, self.w - 1) for y in (0, self.h - 1))

    # The game's toplevel window, once it is mapped; fails if the game (when
    # given) ends.
    def window(self, game, timeout=20):
        def find():
            if game and game.proc.poll() is not None:
                raise AssertionError("the game ended: %r" % (game.wait(),))
            for w in self.root.query_tree().children:
                try:
                    if w.get_wm_name() == "Zimbalo" and \
                            w.get_attributes().map_state == X.IsViewable:
                        return w
                except error.XError:
                    pass
        return until("the window", find, timeout)

    def xdo(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=self.name),
                       check=True)

    def click(self, dy):
        self.xdo("mousemove", self.cx, self.cy + dy, "sleep", 0.1, "click", 1)

    def close_request(self, win):
        msg = event.ClientMessage(window=win, client_type=self.atom("WM_PROTOCOLS"),
                                  data=(32, [self.atom("WM_DELETE_WINDOW"), 0, 0, 0, 0]))
        win.send_event(msg, onerror=error.CatchError())  # the window may be gone
        self.conn.sync()

    # Whether "Jouer"'s label shows grey, as it does once faded in and unlit.
    def unlit(self):
        return 0xCFCFCF in self.shot(self.cx - 50, self.cy - 100, 260, 40)

    # Waits for a menu screen: grey corners, a plate on each row; returns
    # the plates' widths, labels included.
    def menu(self, timeout=10):
        def widths():
            line = [self.shot(self.cx - 51, self.cy + dy + 20, 260, 1) for dy in ROWS]
            return self.corners(GREY) and all(PLATE in ln and ln[0] == GREY for ln in line) and \
                [ln.index(GREY, 1) for ln in line]
        return until("a menu screen", widths, timeout)


class Game:
    def __init__(self, x=None, cmd=None, cwd=None, **env):
        env = {**{k: v for k, v in os.environ.items() if not k.startswith("SDL_")},
               "SDL_AUDIODRIVER": "dummy", "DISPLAY": x and x.name, **env}
        # Its output goes to files, not pipes: the processes that Wine
        # starts beside a game hold what it inherited for seconds after it
        # ends.
        self.out, self.err = (tempfile.TemporaryFile("w+") for _ in range(2))
        self.proc = spawn(cmd or [BIN], cwd=cwd or os.path.dirname(BIN), text=True,
                          env={k: v for k, v in env.items() if v is not None},
                          stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)

    # (status, stdout, stderr) once the game ends; a signal N gives -N.
    def wait(self, timeout=10):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise AssertionError("the game still runs after %d s" % timeout)
        for f in (self.out, self.err):
            f.seek(0)
        return self.proc.returncode, self.out.read(), self.err.read()


# A browser, as a game to signal: those of its processes that run the page
# (whose command lines match game), so that when they stop, the rest of the
# browser still shows the page's last frame; and the server of its page.
class Group:
    def __init__(self, proc, game, server):
        self.proc, self.pid, self.game, self.server = self, proc.pid, game, server

    def send_signal(self, sig):
        for stat in glob.glob("/proc/[0-9]*/stat"):
            try:
                pid = int(stat.split("/")[2])
                if int(open(stat).read().rsplit(")", 1)[1].split()[2]) == self.pid and \
                        re.search(self.game, open("/proc/%d/cmdline" % pid).read()):
                    os.kill(pid, sig)
            except (OSError, ValueError):
                pass


# A function that evaluates a JavaScript expression in the page over its
# DevTools WebSocket and returns the value; its command sends any DevTools
# command and returns its result.
def devtools(url):
    conn, calls = websocket.create_connection(url, suppress_origin=True), iter(range(1, 1 << 30))

    def command(method, **params):
        call = next(calls)
        conn.send(json.dumps({"id": call, "method": method, "params": params}))
        while (reply := json.loads(conn.recv())).get("id") != call:
            pass  # an event, or the answer to another call
        return reply["result"]

    def evaluate(expression):  # (a promise's value, once it has one)
        return command("Runtime.evaluate", expression=expression, awaitPromise=True,
                       returnByValue=True)["result"].get("value")
    evaluate.command = command
    return evaluate


# How each engine is started on a display of its own, as root and without a
# window manager, on a profile of its own: (command, environment).
def engine(name, x, url, profile):
    if name == "firefox":
        shutil.copy(os.path.dirname(__file__) + "/firefox-user.js", profile + "/user.js")
        return ["firefox-esr", "--no-remote", "--profile", profile, "--width", str(x.w),
                "--height", str(x.h), url], {"HOME": profile}
    if name == "webkit":  # WebKitGTK's own browser
        return ["dbus-run-session", "--", glob.glob("/usr/lib/*/webkit2gtk-4.1/MiniBrowser")[0],
                "-f", url], {"WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS": "1",
                             "WEBKIT_DISABLE_COMPOSITING_MODE": "1", "NO_AT_BRIDGE": "1",
                             "GTK_A11Y": "none", "HOME": profile}
    # Without a window manager, chromium makes its window a pixel smaller
    # than asked: asked one larger, it covers the screen, and the game's
    # centre is the screen's.
    return ["chromium", "--kiosk", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--disable-features=Translate", "--password-store=basic",
            "--user-data-dir=" + profile, "--remote-debugging-port=%d" % DEVTOOLS[x.name],
            "--window-position=0,0", "--window-size=%d,%d" % (x.w + 1, x.h + 1), url], {}


DEVTOOLS = {}  # chromium's DevTools port, by display


# The title of the browser's window on x, less the browser's name.
def title(x):
    for w in x.root.query_tree().children:
        try:
            name = w.get_full_property(x.atom("_NET_WM_NAME"), 0)
            if name and w.get_attributes().map_state == X.IsViewable:
                return re.sub(" [-—] (Mozilla Firefox|Chromium)$", "", name.value.decode())
        except error.XError:  # a window gone, or a title changed while it was read
            pass
    return ""


# The page at path in folder root, served on 127.0.0.1, in the engine name
# filling x, and the game started in it (see begin) unless start is false.
# Returns the browser's group (its server as group.server), and the
# server's log of what it was asked for; in chromium also a function that
# gives what DevTools says of the page (title, url) and one that evaluates
# an expression in it. With listen, the page's Web Audio node is watched
# from before the game starts, for heard() to take what it plays.
def browser(x, root, listen=True, key=None, start=True, name="chromium", path="index.html"):
    DEVTOOLS[x.name] = free_port()
    url, log, server = serve(root, path)
    cmd, env = engine(name, x, url, tempfile.mkdtemp())
    proc = spawn(cmd, env={**os.environ, "DISPLAY": x.name, **env}, start_new_session=True,
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The browser may take long to start while the other tests load the
    # machine. (A page that cannot start says why in its title.)
    until("the page", lambda: title(x).lower().startswith("zimbalo"), 60)
    if name == "webkit":  # which opens at a size of its own
        for w in x.root.query_tree().children:
            if w.get_attributes().map_state == X.IsViewable:
                w.configure(x=0, y=0, width=x.w, height=x.h)
        x.conn.sync()
    page = evaluate = None
    if name == "chromium":
        def page():
            try:
                pages = json.load(urllib.request.urlopen(
                    "http://127.0.0.1:%d/json/list" % DEVTOOLS[x.name]))
                return next(p for p in pages if p["type"] == "page")
            except (OSError, StopIteration, ValueError):
                return None
        until("the page's DevTools", page)
        evaluate = devtools(page()["webSocketDebuggerUrl"])
    listen and evaluate("""zimbaloTake = null;
        AudioContext.prototype.createScriptProcessor = (make => function(...a) {
            const node = make.apply(this, a);
            Object.defineProperty(node, "onaudioprocess", { set(fill) {
                node.addEventListener("audioprocess", e => { fill(e);
                    if (zimbaloTake && zimbaloTake[0].length < %d)
                        for (let c = 0; c < 2; c++)
                            zimbaloTake[c].push(...e.outputBuffer.getChannelData(c));
                    zimbaloRate = e.outputBuffer.sampleRate; }); } });
            return node; })(AudioContext.prototype.createScriptProcessor)""" % TAKE)
    start and begin(x, key)
    return Group(proc, {"firefox": "-isForBrowser", "webkit": "WebKitWebProcess"}.get(
        name, "--type=renderer"), server), page, evaluate, log


def free_port():
    with socket.create_server(("127.0.0.1", 0)) as s:
        return s.getsockname()[1]


# Serves the folder root on 127.0.0.1: the URL of path there, the server's
# log of what it was asked for, and the server.
def serve(root, path="index.html"):
    log, web = tempfile.mktemp(".log"), free_port()
    server = spawn([sys.executable, "-m", "http.server", "--bind", "127.0.0.1", str(web)],
                   cwd=root, stdout=subprocess.DEVNULL, stderr=open(log, "w"))
    url = "http://127.0.0.1:%d/%s" % (web, path)
    until("the server", lambda: subprocess.run(["curl", "-sfI", url],
                                               capture_output=True).returncode == 0)
    return url, log, server


# The gesture that starts the game, once the page has loaded it: a click in
# the page's corner, below the browser's bar (where no button of the game
# is), or key, until the game has begun or the page has given up.
def begin(x, key=None):
    gesture = ("key", key) if key else ("mousemove", 2, x.h - 2, "click", 1)
    until("the game", lambda: x.xdo(*gesture) or time.sleep(0.5) or running(x), 60)


# Whether the page on x has begun: its menu shows, or a line in its title.
def running(x):
    return title(x) != "Zimbalo" or PLATE in x.shot(x.cx - 51, x.cy - 80, 260, 1)


# The next TAKE frames that the page's Web Audio node plays (see browser),
# once it has played them: (its sample rate, the left channel, the right),
# each sample as a 16-bit one (a float of 1 as 32768), unclipped.
def heard(evaluate):
    evaluate("zimbaloTake = [[], []]")
    until("the sound", lambda: evaluate("zimbaloTake[0].length") >= TAKE)
    return evaluate("[zimbaloRate, ...zimbaloTake.map(c => c.slice(0, %d).map(v => "
                    "Math.round(v * 32768)))]" % TAKE)


# Runs check(arg) for every row (check, arg) of a table, workers at a time;
# prints each outcome and returns the number of failed rows.
def table(rows, workers):
    def one(row):
        start, name = time.time(), "%s %s" % (row[0].__name__, row[1])
        try:
            row[0](row[1])
            return "ok   %s (%.0f s)" % (name, time.time() - start)
        except Exception:
            return "FAIL %s\n%s" % (name, traceback.format_exc())
        finally:
            reap(threading.get_ident())
    # ZIMBALO_ROWS picks rows by a pattern, to try a few by hand.
    rows = [r for r in rows if re.search(os.environ.get("ZIMBALO_ROWS", ""),
                                         "%s %s" % (r[0].__name__, r[1]))]
    # A mutation run wants the first failure only: the rows not yet started
    # are then left out.
    hurry = os.environ.get("ZIMBALO_FIRST_FAILURE")
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        for result in pool.map(one, rows):
            print(result, flush=True)
            failed += result.startswith("FAIL")
            if failed and hurry:
                pool.shutdown(cancel_futures=True)
                break
    return failed
