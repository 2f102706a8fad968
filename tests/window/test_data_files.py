"""The data files are read from the working directory; without the font the
game cannot draw a menu and says so. Music goes through SDL's disk audio
driver, which mixes for real into a file: the menu's track sounds, and a
missing or broken one leaves silence, a line saying so, and the game as
ever."""
import os
import time

import xwin
from xwin import BLACK, WHITE


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

    def sound(self, here):
        """Runs the game in the directory here with SDL's disk audio driver
        writing into here/audio.raw; returns the X server, the game, its
        window and a function reading what has been mixed so far."""
        path = os.path.join(here, "audio.raw")
        server, game, window = self.start(cwd=here, env={
            "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": path, "SDL_DISKAUDIODELAY": "10"})

        def mixed():
            with open(path, "rb") as f:
                return f.read()
        xwin.wait_until(lambda: len(mixed()) > 100000, what="the audio to be mixed")
        return server, game, window, mixed

    @staticmethod
    def messages(err):
        """The game's own lines on stderr (SDL's disk driver adds its own)."""
        return [line for line in err.splitlines() if line.startswith("zimbalo:")]

    def test_music_plays(self):
        with xwin.data_dir(["game_over.ttf", "Menu.mp3", "Jouer.mp3"]) as here:
            server, game, window, mixed = self.sound(here)
            before = len(mixed())
            time.sleep(1)
            sound = mixed()
            self.assertGreater(len(sound), before + 100000, "the mixing stopped")
            self.assertGreater(len(sound) - sound.count(0), len(sound) // 4, "silence")
            server.close_request(window)
            status, out, err = game.wait_exit()
        self.assertEqual((status, out, self.messages(err)), (0, "", []))

    def test_bad_menu_music(self):
        for case in ["missing", "corrupt"]:
            with self.subTest(Menu_mp3=case), xwin.data_dir(["game_over.ttf", "Jouer.mp3"]) as here:
                if case == "corrupt":
                    with open(os.path.join(here, "Menu.mp3"), "wb") as f:
                        f.write(b"ID3\3\0\0\0\0\0\0" + bytes(range(256)) * 40)
                server, game, window, mixed = self.sound(here)
                server.move(100, 100)
                self.assertBackground(server)
                self.assertPlates(server.screenshot())
                time.sleep(0.3)
                sound = mixed()
                self.assertEqual(sound.count(0), len(sound), "sound without a menu track")
                lines = self.messages(os.pread(game.err.fileno(), 65536, 0).decode())
                self.assertEqual(len(lines), 1, lines)
                self.assertRegex(lines[0], r"^zimbalo: .*Menu\.mp3")
                # A game, with its own track; Escape, a key and the menu
                # again, silent, with nothing more said.
                heard = len(sound)
                server.click(1, server.width // 2, server.height // 2 - 80)
                server.wait_pixel(server.width - 1, server.height - 1, BLACK)
                xwin.wait_until(lambda: mixed()[heard:].strip(b"\0"), what="the game's track")
                server.key("Escape")
                end = (server.width // 2 - 30, server.height // 2 - 20, 300, 40)
                xwin.wait_until(lambda: server.screenshot(*end).find(WHITE),
                                what="the end screen")
                server.key("space")
                self.assertBackground(server)
                time.sleep(0.1)  # what was mixed before the switch
                heard = len(mixed())
                time.sleep(0.3)
                later = mixed()[heard:]
                self.assertTrue(later and not later.strip(b"\0"), "no silence back in the menu")
                server.close_request(window)
                status, out, err = game.wait_exit()
                self.assertEqual((status, out, self.messages(err)), (0, "", lines))


if __name__ == "__main__":
    xwin.main()
