"""The window follows the desktop: its size whatever the desktop's, its
place at the top-left corner whatever SDL_VIDEO_WINDOW_POS says."""
import xwin


class Desktop(xwin.GameTest):
    def check_covers(self, width, height, env=None):
        server, game, window = self.start(width, height, env=env)
        self.assertCoversDesktop(server, window)
        self.assertBackground(server)
        server.close_request(window)
        self.assertQuietExit(game)

    def test_window_position_is_replaced(self):
        # SDL would put the window at these points; the game centres it.
        for pos in ["10,10", "0,300"]:
            with self.subTest(SDL_VIDEO_WINDOW_POS=pos):
                self.check_covers(1920, 1080, env={"SDL_VIDEO_WINDOW_POS": pos})

    def test_other_desktop_sizes(self):
        for width, height in [(1280, 720), (1024, 768)]:
            with self.subTest(desktop="%dx%d" % (width, height)):
                self.check_covers(width, height)


if __name__ == "__main__":
    xwin.main()
