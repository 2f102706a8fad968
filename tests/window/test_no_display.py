"""Without a display the game says what failed, on one line, and ends with
status 1."""
import xwin

NOWHERE = ":99999"  # a display that no server listens on


class NoDisplay(xwin.GameTest):
    def run_failing(self, display, env):
        game = self.game(display, env=env)
        status, out, err = game.wait_exit(5)
        self.assertEqual(status, 1, "stderr: %r" % err)
        return out, err

    def assertOneLine(self, err):
        lines = err.splitlines()
        self.assertEqual(len(lines), 1, "stderr: %r" % err)
        self.assertRegex(lines[0], r"^zimbalo: \S")

    def test_no_display(self):
        # With no X display, SDL goes on to its libcaca text driver, which
        # writes its terminal set-up to stdout and then offers no desktop
        # size, so that the window cannot be opened. That driver needs a
        # terminal that it knows.
        for display in [None, "", NOWHERE]:
            with self.subTest(DISPLAY=display):
                out, err = self.run_failing(display, {"TERM": "xterm"})
                self.assertOneLine(err)

    def test_x11_only(self):
        # Held to X, SDL itself fails to start; nothing else writes.
        out, err = self.run_failing(NOWHERE, {"SDL_VIDEODRIVER": "x11"})
        self.assertOneLine(err)
        self.assertIn("SDL", err)
        self.assertEqual(out, "")

    def test_unknown_terminal(self):
        # libcaca's curses back end ends the process itself, with its own
        # message, when the terminal is unknown; the status is still 1.
        for term in [None, "no-such-terminal"]:
            with self.subTest(TERM=term):
                out, err = self.run_failing(None, {"TERM": term})
                self.assertNotEqual(err, "")


if __name__ == "__main__":
    xwin.main()
