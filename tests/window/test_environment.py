"""The game on unusual machines: no sound card, a display that refuses the
window, desktops small, huge or of few colours; and the SDL library that it
runs on (the system's SDL 1.2, or sdl12-compat for window_compat_*)."""
import contextlib
import math
import os

import faults
import xwin


class Environment(xwin.GameTest):
    def assertWorks(self, server, game, **kwargs):
        """Menus, a timed and a free game, and the way out give status 0 and
        no output."""
        self.assertEqual(faults.play(server, game, **kwargs), (0, "", ""))

    def test_no_audio_device(self):
        # A driver that does not exist; ALSA without such a device, as on a
        # machine with no sound card.
        for env in [{"SDL_AUDIODRIVER": "no-such-driver"},
                    {"SDL_AUDIODRIVER": "alsa", "AUDIODEV": "zimbalo-no-such-device"}]:
            with self.subTest(**env):
                server = self.xvfb(800, 600)
                status, out, err = faults.play(server, self.game(server, env=env))
                self.assertEqual((status, out), (0, ""), "stderr: %r" % err)
                self.assertRegex(err, r"^(zimbalo: [^\n]*\n)?$")

    def test_refused_video_mode(self):
        # A desktop 16384 pixels wide (four 4096-pixel monitors in a row)
        # needs rows of 65536 bytes, more than an SDL 1.2 surface can hold.
        server = self.xvfb(16384, 64)
        status, out, err = self.game(server).wait_exit(5)
        self.assertEqual((status, out), (1, ""), "stderr: %r" % err)
        self.assertRegex(err, r"^zimbalo: \S[^\n]*\n$")

    def test_other_depths(self):
        # Each depth either works, up to a close request, or is refused in
        # one line (perhaps once the window is up).
        for depth in (8, 15, 30):
            with self.subTest(depth=depth):
                server = self.xvfb(320, 240, depth)
                game = self.game(server)
                window = xwin.wait_until(lambda: next(
                    (w for w in server.windows() if w.name == "Zimbalo"), None)
                    or not game.running(), 10, "a window or the end")
                if window is not True:
                    with contextlib.suppress(Exception):  # if it is gone already
                        server.close_request(window)
                status, out, err = game.wait_exit()
                self.assertIn(status, (0, 1))
                self.assertRegex(err, r"^zimbalo: \S[^\n]*\n$" if status else r"^$")
                self.assertEqual(out, "")

    def test_small_desktop(self):
        # 240 pixels above and below the centre: the squares, 300 pixels
        # from it, are clipped at the top and the bottom edges.
        server = self.xvfb(640, 480)
        game = self.game(server)
        self.assertCoversDesktop(server, server.wait_window(game=game))
        seen = set()

        def clipped():
            for y, edge in [(0, "top"), (479, "bottom")]:
                colours = faults.grab(server, 0, y, 640, 1).colors()
                seen.update((name, edge) for name, rgb in [("red", faults.RED), ("green", faults.GREEN)]
                            if colours[rgb])
            return len(seen) == 4
        xwin.wait_until(clipped, 15, "both squares at both edges (seen %s)" % seen)
        self.assertWorks(server, game, options=True, finish="quit")

    def test_huge_desktop(self):
        w, h = 7680, 4320
        server = self.xvfb(w, h)
        game = self.game(server)
        window = server.wait_window(game=game, timeout=10)
        self.assertCoversDesktop(server, window)
        cx, cy = w // 2, h // 2
        faults.wait_menu(server, game)  # the plates start at cx - 50 = 3790
        shot = faults.grab(server, cx - 360, cy - 360, 720, 720)
        red, green = (faults.centroid(shot, rgb) for rgb in (faults.RED, faults.GREEN))
        for x, y, n in (red, green):
            self.assertGreater(n, 1000, "a square is missing: %s %s" % (red, green))
            self.assertAlmostEqual(math.hypot(x - 360, y - 360), 300, delta=2.5)
        self.assertAlmostEqual(red[0] + green[0], 720, delta=3)
        self.assertAlmostEqual(red[1] + green[1], 720, delta=3)

        faults.start_game(server, game, cx, cy - 80)

        def white(x, y, width, height):
            return faults.grab(server, x, y, width, height).colors()[faults.WHITE]
        # The score at (10, 10), the frame rate at (w - 50, 10): text there,
        # none just left of them or above them.
        xwin.wait_until(lambda: white(w - 50, 10, 50, 60), 5, "the frame rate")
        for x, y in [(10, 10), (w - 50, 10)]:
            self.assertFalse(white(x - 10, 0, 10, 100) or white(x - 10, 0, min(300, w - x + 10), 10),
                             "text beyond (%d, %d)" % (x, y))
        server.key("Escape")
        faults.wait_white(server, w // 2 - 30, h // 2 - 20, 300, 80)
        self.assertFalse(white(w // 2 - 40, h // 2 - 30, 10, 100)
                         or white(w // 2 - 40, h // 2 - 30, 300, 10), "the score is not at its place")
        server.key("a")
        faults.wait_menu(server, game)
        server.close_request(window)
        self.assertQuietExit(game)

    def test_16_bit_desktop(self):
        server = self.xvfb(1024, 768, 16)
        game = self.game(server)
        self.assertCoversDesktop(server, server.wait_window(game=game))
        cx, cy = 512, 384
        widths = faults.wait_menu(server, game)
        plates = faults.grab(server, cx - 50, cy - 100, widths[2], 200).colors()
        ring = faults.grab(server, cx - 360, cy - 360, 720, 720).colors()
        for rgb, where in [(xwin.GREY, ring), (faults.PLATE, plates), (faults.LABEL, plates),
                           (faults.RED, ring), (faults.GREEN, ring)]:
            with self.subTest(colour=rgb):
                self.assertGreater(sum(n for c, n in where.items() if faults.near(c, rgb, 8)), 300,
                                   "colours seen: %s" % where.most_common(8))
        self.assertWorks(server, game)

    def test_sdl_library(self):
        server, game, window = self.start(800, 600)
        path = faults.sdl_library(game.pid)
        with open("/proc/%d/maps" % game.pid) as f:
            sdl2 = "libSDL2-2.0.so" in f.read()
        if faults.COMPAT:
            self.assertTrue(path.startswith(os.path.realpath(faults.COMPAT) + os.sep), path)
            self.assertTrue(sdl2, "sdl12-compat without SDL 2")
        else:
            self.assertNotIn("sdl12-compat", path)
            self.assertFalse(sdl2, "SDL 2 loaded by SDL 1.2")
        server.close_request(window)
        self.assertQuietExit(game)


if __name__ == "__main__":
    xwin.main()
