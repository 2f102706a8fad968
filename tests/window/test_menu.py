"""The main menu: four buttons on a grey background with two squares
orbiting the centre, the label under the pointer turned black, and a way
out by "Quitter" or the window's close request."""
import time

import xwin
from xwin import BLACK, LABEL, PLATE

JOUER, QUITTER = -100, -50  # button rows, from the centre


class Menu(xwin.GameTest):
    def plate_colors(self, shot, dy, width):
        cx, cy = shot.width // 2, shot.height // 2
        return shot.colors(cx - 50, cy + dy, width, 49)

    def test_look_hover_and_close(self):
        server, game, window = self.start()
        # The squares set off below (red) and above (green) the centre and
        # move on one degree a frame at most, each frame lasting 10 ms or more.
        red = xwin.wait_until(lambda: server.screenshot().centroid(xwin.RED), what="the squares")
        shot = server.screenshot()
        angle, elapsed = self.assertDecoration(shot), time.monotonic() - game.started
        self.assertLessEqual(angle, elapsed * 100 + 2, "red square at %s" % (red,))

        server.move(100, 100)
        self.assertBackground(server)
        time.sleep(0.2)
        shot = server.screenshot()
        widths = self.assertPlates(shot)
        # "Jouer" < "Quitter" < "Options" < "Jeu Libre", a plate two pixels
        # wider than its label.
        self.assertEqual(sorted(widths), [widths[0], widths[1], widths[3], widths[2]])
        self.assertEqual(len(set(widths)), 4, widths)
        for dy, width in zip(xwin.ROWS, widths):
            colors = self.plate_colors(shot, dy, width)
            self.assertGreater(colors[LABEL], 200, "label of row %+d" % dy)
            self.assertEqual(colors[BLACK], 0, "label of row %+d" % dy)

        # The label under the pointer turns black, and stays so while the
        # pointer rests; the others stay grey.
        cx, cy = server.width // 2, server.height // 2
        server.move(cx, cy + JOUER + 20)
        xwin.wait_until(lambda: self.plate_colors(server.screenshot(), JOUER, widths[0])[BLACK],
                        what="a black label on Jouer")
        time.sleep(0.3)
        shot = server.screenshot()
        xwin.keep_picture(shot, "menu")
        hovered = self.plate_colors(shot, JOUER, widths[0])
        self.assertGreater(hovered[BLACK], 200)
        self.assertEqual(hovered[LABEL], 0)
        self.assertGreater(hovered[PLATE], 1000)
        for dy, width in zip(xwin.ROWS[1:], widths[1:]):
            self.assertEqual(self.plate_colors(shot, dy, width)[BLACK], 0, "row %+d" % dy)
        # The squares went on turning, counter-clockwise on the screen.
        moved = (self.assertDecoration(shot) - angle) % 360
        self.assertTrue(0 < moved < 180, "the red square moved by %.1f degrees" % moved)

        server.move(cx + 400, cy + JOUER + 20)
        xwin.wait_until(lambda: not self.plate_colors(server.screenshot(), JOUER, widths[0])[BLACK],
                        what="Jouer's label to turn grey again")
        self.assertGreater(self.plate_colors(server.screenshot(), JOUER, widths[0])[LABEL], 200)
        server.close_request(window)
        self.assertQuietExit(game)

    def test_quitter(self):
        # The menus act when a button, any button, is released.
        server, game, window = self.start()
        cx, cy = server.width // 2, server.height // 2
        server.move(cx, cy + QUITTER + 20)
        server.press(3)
        time.sleep(0.3)
        self.assertTrue(game.running(), "the game ended on a press")
        self.assertBackground(server)
        server.release(3)
        self.assertQuietExit(game)


if __name__ == "__main__":
    xwin.main()
