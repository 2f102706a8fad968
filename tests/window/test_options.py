"""The options screen: four presets in place of the menu's buttons, the
squares still turning; a preset is chosen on the release of a mouse button
and the menu returns; the next timed game runs for the preset's time."""
import time

import xwin
from xwin import BLACK, WHITE

JOUER, OPTIONS = -100, 50  # menu rows, from the centre
MOYEN, HARDCORE = -50, 50  # options rows


class Options(xwin.GameTest):
    def menu(self):
        server, game, window = self.start()
        server.move(100, 100)
        self.assertBackground(server)
        return server, game, window

    def at(self, server, dy):
        return server.width // 2, server.height // 2 + dy + 20

    def open_options(self, server):
        """Clicks "Options"; returns the plates' widths there."""
        menu = self.assertPlates(server.screenshot())
        server.click(1, *self.at(server, OPTIONS))

        def options():
            widths = self.widths(server)
            return widths if widths and widths != menu else None
        widths = xwin.wait_until(options, what="the options screen")
        self.assertBackground(server)
        return widths

    def widths(self, server):
        try:
            return self.assertPlates(server.screenshot())
        except AssertionError:
            return None

    def label(self, server, dy):
        """The colours of the label box of the button of row dy."""
        cx, cy = server.width // 2, server.height // 2
        return server.screenshot(cx - 50, cy + dy, 100, 49).colors()

    def test_screen_and_choice(self):
        server, game, window = self.menu()
        menu = self.assertPlates(server.screenshot())
        widths = self.open_options(server)
        # "Moyen" < "Facile" < "Difficile" < "Hardcore", unlike the menu.
        self.assertEqual(sorted(widths), [widths[1], widths[0], widths[2], widths[3]])
        self.assertEqual(len(set(widths + menu)), 8, (menu, widths))
        shot = server.screenshot()
        self.assertFalse(shot.find(BLACK), "a black label before the pointer moved")
        angle = self.assertDecoration(shot)

        server.move(*self.at(server, MOYEN))
        xwin.wait_until(lambda: self.label(server, MOYEN)[BLACK], what="Moyen's label to turn black")
        self.assertEqual(self.label(server, MOYEN)[xwin.LABEL], 0)
        self.assertEqual(self.label(server, HARDCORE)[BLACK], 0)
        moved = (self.assertDecoration(server.screenshot()) - angle) % 360
        self.assertTrue(0 < moved < 180, "the red square moved by %.1f degrees" % moved)

        # No key leaves the screen, nor a press alone, nor a release off
        # the buttons.
        server.key("Escape")
        x, y = self.at(server, HARDCORE)
        server.click(2, x + 400, y)
        server.move(x, y)
        server.press(3)
        time.sleep(0.3)
        self.assertEqual(self.widths(server), widths)
        self.assertEqual(self.label(server, HARDCORE)[BLACK], 0)
        server.release(3)
        # The menu returns, the pointer one pixel below the release, on
        # "Options".
        xwin.wait_until(lambda: self.widths(server) == menu, what="the menu")
        self.assertEqual(server.pointer(), (x, y + 1))
        xwin.wait_until(lambda: self.label(server, OPTIONS)[BLACK], what="Options' label to turn black")
        server.close_request(window)
        self.assertQuietExit(game)

    def countdown_end(self, server):
        """Starts a timed game; returns the right end of its countdown line."""
        server.click(1, *self.at(server, JOUER))
        server.wait_pixel(server.width - 1, server.height - 1, BLACK)
        return max(x for x, y in server.screenshot().find(WHITE, 10, 50, 500, 40))

    def end_screen(self, server):
        return server.screenshot(server.width // 2 - 30, server.height // 2 - 20, 300, 40).find(WHITE)

    def test_hardcore_game(self):
        # A game of 30 s counts "29 s" first, one of 10 s "9 s": a digit less.
        server, game, window = self.menu()
        default = self.countdown_end(server)
        server.key("Escape")
        xwin.wait_until(lambda: self.end_screen(server), what="the end screen")
        server.key("space")
        self.assertBackground(server)
        server.move(100, 100)
        self.open_options(server)
        server.click(1, *self.at(server, HARDCORE))
        self.assertBackground(server)
        start = time.monotonic()
        self.assertLess(self.countdown_end(server), default - 5)
        # It ends by itself after about 9 s.
        time.sleep(max(0, start + 7 - time.monotonic()))
        self.assertFalse(self.end_screen(server), "the game ended before 7 s")
        xwin.wait_until(lambda: self.end_screen(server), 5, "the end of the game")
        self.assertLess(time.monotonic() - start, 11.5)
        server.key("Escape")
        self.assertBackground(server)
        server.close_request(window)
        self.assertQuietExit(game)

    def test_close_request(self):
        server, game, window = self.menu()
        self.open_options(server)
        server.close_request(window)
        self.assertQuietExit(game)


if __name__ == "__main__":
    xwin.main()
