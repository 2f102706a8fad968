"""The data files are read from the working directory; without the font the
game cannot draw a menu and says so."""
import xwin


class DataFiles(xwin.GameTest):
    def test_missing_font(self):
        server = self.xvfb()
        with xwin.data_dir(["Menu.mp3", "Jouer.mp3"]) as here:
            game = self.game(server, cwd=here)
            status, out, err = game.wait_exit(5)
        self.assertEqual(status, 1, "stderr: %r" % err)
        lines = err.splitlines()
        self.assertEqual(len(lines), 1, "stderr: %r" % err)
        self.assertRegex(lines[0], r"^zimbalo: .*game_over\.ttf")
        self.assertEqual(out, "")


if __name__ == "__main__":
    xwin.main()
