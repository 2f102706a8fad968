"""Start-up: the window covers the desktop without a frame and shows the
menu's background, and a close request ends the program quietly with
status 0."""
import xwin


class Startup(xwin.GameTest):
    def test_window_and_close_request(self):
        server = self.xvfb()
        # With the Motif atom known, SDL states "no decorations" in
        # _MOTIF_WM_HINTS: flags has MWM_HINTS_DECORATIONS, decorations is 0.
        server.atom("_MOTIF_WM_HINTS")
        game = self.game(server)
        window = server.wait_window(game=game)
        self.assertCoversDesktop(server, window)
        self.assertBackground(server)
        hints = server.property(window, "_MOTIF_WM_HINTS")
        self.assertIsNotNone(hints, "no _MOTIF_WM_HINTS: the window asks for a frame")
        self.assertTrue(hints[0] & 2, "MWM_HINTS_DECORATIONS unset: %s" % list(hints))
        self.assertEqual(hints[2], 0, "decorations: %s" % list(hints))
        server.close_request(window)
        self.assertQuietExit(game)

    def test_no_frame_without_motif(self):
        # When no window manager has made the Motif, KDE or GNOME atoms, SDL
        # keeps a borderless window out of the frames by making it transient
        # for the root window.
        server, game, window = self.start()
        self.assertIsNone(server.property(window, "_MOTIF_WM_HINTS"))
        self.assertEqual(list(server.property(window, "WM_TRANSIENT_FOR") or []),
                         [server.root.id], "the window asks for a frame")
        server.close_request(window)
        self.assertQuietExit(game)

    def test_arguments_change_nothing(self):
        server, game, window = self.start(args=["--help", "-x", "foo"])
        self.assertCoversDesktop(server, window)
        self.assertBackground(server)
        server.close_request(window)
        self.assertQuietExit(game)

    def test_without_audio_device(self):
        # With no sound the game runs on in silence; it may say so, in its
        # own words.
        server, game, window = self.start(env={"SDL_AUDIODRIVER": "no-such-driver"})
        self.assertCoversDesktop(server, window)
        self.assertBackground(server)
        server.close_request(window)
        status, out, err = game.wait_exit()
        self.assertEqual((status, out), (0, ""))
        for line in err.splitlines():
            self.assertTrue(line.startswith("zimbalo: "), "stderr: %r" % err)


if __name__ == "__main__":
    xwin.main()
