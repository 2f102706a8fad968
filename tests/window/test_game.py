"""A game: a coloured target bouncing on a black screen under the score, the
countdown and the frame rate; a press on the target scores; Escape brings
the end screen, which waits for a key; the menu follows, its squares where
they were. A close request during play returns to the menu."""
import time

import xwin
from xwin import BLACK, WHITE

JOUER, JEU_LIBRE = -100, 0  # button rows, from the centre


class Game(xwin.GameTest):
    def menu(self):
        """The game's menu, with the pointer off the buttons."""
        server, game, window = self.start()
        server.move(100, 100)
        self.assertBackground(server)
        return server, game, window

    def play(self, server, dy, button=1):
        """Clicks the menu button of row dy; returns the time when the game
        was seen and its picture then."""
        server.click(button, server.width // 2, server.height // 2 + dy + 20)
        server.wait_pixel(server.width - 1, server.height - 1, BLACK)
        seen, shot = time.monotonic(), server.screenshot()
        self.assertGreater(shot.colors()[BLACK], shot.width * shot.height // 2)
        return seen, shot

    @staticmethod
    def score_line(shot):
        return set(shot.find(WHITE, 10, 10, 400, 40))

    @staticmethod
    def countdown_line(shot):
        return shot.find(WHITE, 10, 50, 500, 40)

    @staticmethod
    def end_score(shot):
        """The white points where the end screen writes the score, moved to
        where the score line stands during play."""
        x, y = shot.width // 2 - 30, shot.height // 2 - 20
        return {(px - x + 10, py - y + 10) for px, py in shot.find(WHITE, x, y, 400, 40)}

    @staticmethod
    def target(server, color):
        """(time, x, y) of the middle of the target, of colour color, as
        drawn now; None if it is not to be seen."""
        then = time.monotonic()
        points = server.screenshot().find(color)
        if not points:
            return None
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        return (then + time.monotonic()) / 2, (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2

    def hit(self, server, start):
        """Holds a button down on the target's way until the score changes;
        returns the point pressed. A press held still scores as soon as the
        target passes under the pointer."""
        w, h = server.width, server.height
        for _ in range(4):
            colors = server.screenshot().colors().most_common(4)
            color = next((c for c, n in colors if c not in (BLACK, WHITE)), None)
            self.assertIsNotNone(color, "no target on the screen: %s" % colors)
            seen = [self.target(server, color), self.target(server, color)]
            if None in seen:
                continue  # lit up under the pointer
            (t0, x0, y0), (t1, x1, y1) = seen
            ahead = 0.4 / (t1 - t0)  # where the target will be in 0.4 s
            x = min(max(int(x1 + (x1 - x0) * ahead), 0), w - 1)
            y = min(max(int(y1 + (y1 - y0) * ahead), 0), h - 1)
            server.move(x, y)
            server.press(1)
            try:
                xwin.wait_until(lambda: self.score_line(server.screenshot()) != start, 1.5)
                return x, y
            except AssertionError:
                continue  # a bounce turned the target away
            finally:
                server.release(1)
        self.fail("no hit in four tries")

    def test_timed_game(self):
        server, game, window = self.menu()
        cx, cy = server.width // 2, server.height // 2
        t0, menu = time.monotonic(), server.screenshot()
        t1, shot = self.play(server, JOUER)
        before = self.assertDecoration(menu)
        start = self.score_line(shot)
        self.assertTrue(start, "no score line")
        self.assertTrue(self.countdown_line(shot), "no countdown line")
        self.assertTrue(shot.find(WHITE, server.width - 50, 10, 50, 40), "no frame rate")
        self.assertFalse(self.end_score(shot), "an end screen already")

        # A hit moves the pointer one pixel down.
        x, y = self.hit(server, start)
        self.assertEqual(server.pointer(), (x, y + 1))
        time.sleep(1)
        xwin.keep_picture(server.screenshot(), "game")

        # Escape: the end screen writes the score, as at the top, in the
        # middle of the last picture, and stays there through mouse events.
        server.key("Escape")
        xwin.wait_until(lambda: self.end_score(server.screenshot()), what="the end screen")
        server.click(1, 200, 300)
        server.click(3)
        time.sleep(0.3)
        shot = server.screenshot()
        self.assertEqual(shot.pixel(0, 0), BLACK, "the end screen went away")
        self.assertEqual(self.end_score(shot), self.score_line(shot))
        self.assertNotEqual(self.score_line(shot), start)

        # A key: the menu, with the pointer one pixel below the click that
        # started the game, "Jouer" under it, and the squares where they
        # were: at most a degree a frame, a frame 10 ms or more, in the
        # menu's time.
        server.key("a")
        t2 = time.monotonic()
        server.wait_pixel(0, 0, xwin.GREY)
        menu, t3 = server.screenshot(), time.monotonic()
        moved = (self.assertDecoration(menu) - before) % 360
        self.assertLessEqual(moved, (t1 - t0 + t3 - t2) * 100 + 3,
                             "the squares moved on during the game")
        self.assertBackground(server)
        self.assertEqual(server.pointer(), (cx, cy + JOUER + 21))
        xwin.wait_until(lambda: server.screenshot(cx - 50, cy + JOUER, 100, 49).find(BLACK),
                        what="Jouer's label to turn black")
        server.close_request(window)
        self.assertQuietExit(game)

    def test_free_game_and_close_requests(self):
        server, game, window = self.menu()
        shot = self.play(server, JEU_LIBRE, button=2)[1]
        self.assertTrue(self.score_line(shot), "no score line")
        self.assertFalse(self.countdown_line(shot), "a countdown in a free game")
        # A close request ends the game, not the program.
        server.close_request(window)
        self.assertBackground(server)
        self.assertTrue(game.running(), "the program ended")
        # Once more, to the end screen; there a close request ends it all.
        self.play(server, JEU_LIBRE)
        server.key("Escape")
        xwin.wait_until(lambda: self.end_score(server.screenshot()), what="the end screen")
        server.close_request(window)
        self.assertQuietExit(game)


if __name__ == "__main__":
    xwin.main()
