"""Without a display the game says what failed, on one line, and ends with
status 1, whatever the terminal."""
import os
import time

import xwin

NOWHERE = ":99999"  # a display that no server listens on


class NoDisplay(xwin.GameTest):
    def run_failing(self, display, env):
        game = self.game(display, env=env)
        status, out, err = game.wait_exit(5)
        self.assertEqual(status, 1, "stderr: %r" % err)
        return out, err

    def test_no_display(self):
        # SDL is held to X11 unless the player chose a driver, so that it
        # never falls back to a text-mode driver that writes to the terminal.
        for display in [None, "", NOWHERE]:
            for term in ["xterm", None, "no-such-terminal"]:
                with self.subTest(DISPLAY=display, TERM=term):
                    out, err = self.run_failing(display, {"TERM": term})
                    self.assertRegex(err, r"^zimbalo: cannot open the display: \S[^\n]*\n$")
                    self.assertEqual(out, "")

    def test_chosen_driver_is_kept(self):
        # A driver named by the player is used, not X11, which would fail on
        # this display: SDL 1.2's dummy driver has no desktop size, so the
        # window cannot open; SDL 2's, under sdl12-compat, has one, and the
        # game runs with nothing to show.
        if os.environ.get("ZIMBALO_SDL_COMPAT"):
            game = self.game(NOWHERE, env={"SDL_VIDEODRIVER": "dummy"})
            time.sleep(1.5)
            self.assertTrue(game.running())
            return
        out, err = self.run_failing(NOWHERE, {"SDL_VIDEODRIVER": "dummy"})
        self.assertRegex(err, r"^zimbalo: cannot open the window: \S[^\n]*\n$")


if __name__ == "__main__":
    xwin.main()
