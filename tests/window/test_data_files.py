"""The data files are read from the working directory, and the menu's track
sounds: SDL's disk audio driver mixes for real into a file, which fills with
music. Damaged and missing files are tried in test_bad_data.py."""
import os
import time

import xwin


class DataFiles(xwin.GameTest):
    def test_music_plays(self):
        with xwin.data_dir(["game_over.ttf", "Menu.mp3", "Jouer.mp3"]) as here:
            path = os.path.join(here, "audio.raw")
            server, game, window = self.start(cwd=here, env={
                "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": path,
                "SDL_DISKAUDIODELAY": "10"})

            def mixed():
                with open(path, "rb") as f:
                    return f.read()
            xwin.wait_until(lambda: len(mixed()) > 100000, what="the audio to be mixed")
            before = len(mixed())
            time.sleep(1)
            sound = mixed()
            self.assertGreater(len(sound), before + 100000, "the mixing stopped")
            self.assertGreater(len(sound) - sound.count(0), len(sound) // 4, "silence")
            server.close_request(window)
            status, out, err = game.wait_exit()
        # SDL's disk driver says on stderr that it is in use; the game nothing.
        ours = [line for line in err.splitlines() if line.startswith("zimbalo:")]
        self.assertEqual((status, out, ours), (0, "", []))


if __name__ == "__main__":
    xwin.main()
