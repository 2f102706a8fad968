"""Damaged data files. Without a usable font the game says so in one line
naming the file and ends with status 1. A damaged music file leaves the
game fully playable, in silence where that track was due, with at most one
line naming the file; unusual but valid MP3s play, in tune, without a word.
The sound is mixed for real by SDL's disk driver and read back."""
import os
import shutil
import tempfile

import faults
import xwin

FONT, MUSIC = "game_over.ttf", ("Menu.mp3", "Jouer.mp3")
# What a damaged track may still give: its first half plays; random bytes
# may pass for a few frames of noise.
DUE = {"missing": "silence", "empty": "silence", "directory": "silence",
       "dangling link": "silence", "half": "sound", "random": None}


class BadData(xwin.GameTest):
    @classmethod
    def setUpClass(cls):
        cls.made = tempfile.mkdtemp(prefix="zimbalo-odd-")
        cls.extra = {}
        for form in faults.ODD_MP3:
            cls.extra[form] = os.path.join(cls.made, form.replace(" ", "-") + ".mp3")
            faults.make_mp3(cls.extra[form], form)
        cls.extra["odd glyphs"] = os.path.join(cls.made, "odd.ttf")
        faults.truncate_glyphs(os.path.join(os.path.dirname(xwin.BINARY), FONT),
                               cls.extra["odd glyphs"])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.made)

    def run_font(self, form):
        with faults.case_dir([(FONT, form)], self.extra) as here, \
                xwin.Xvfb(800, 600) as server, xwin.Game(server, cwd=here) as game:
            if form in ("half", "odd glyphs"):
                # A font that opens may serve: then the game must work.
                xwin.wait_until(lambda: not game.running() or faults.corners(server)
                                == [xwin.GREY] * 4, 10, "the menu or the end")
                if game.running():
                    self.assertEqual(faults.play(server, game), (0, "", ""))
                    return
            status, out, err = game.wait_exit(5)
        self.assertEqual((status, out), (1, ""), "stderr: %r" % err)
        self.assertRegex(err, r"^zimbalo: [^\n]*game_over\.ttf[^\n]*\n$")

    def run_music(self, case):
        name, form = case
        due = "tone" if form in faults.ODD_MP3 else DUE[form]
        with faults.case_dir([case], self.extra) as here, xwin.Xvfb(800, 600) as server, \
                xwin.Game(server, cwd=here, env=faults.disk_audio(here)) as game:
            sound = (here, due if name == "Menu.mp3" else "sound",
                     due if name == "Jouer.mp3" else "sound")
            status, out, err = faults.play(server, game, sound)
        self.assertEqual((status, out), (0, ""), "stderr: %r" % err)
        lines = faults.program_lines(err)
        if form in faults.ODD_MP3:
            self.assertEqual(lines, [], "a valid MP3 was refused")
        else:
            self.assertLessEqual(len(lines), 1, "stderr: %r" % err)
            for line in lines:
                self.assertRegex(line, r"^zimbalo: .*" + name.replace(".", r"\."))

    def test_bad_font(self):
        faults.report(self, faults.in_parallel(faults.FORMS + ("odd glyphs",), self.run_font))

    def test_bad_music(self):
        cases = [(name, form) for name in MUSIC for form in faults.FORMS]
        faults.report(self, faults.in_parallel(cases, self.run_music))

    def test_odd_music(self):
        cases = [(name, form) for name in MUSIC for form in faults.ODD_MP3]
        faults.report(self, faults.in_parallel(cases, self.run_music))


if __name__ == "__main__":
    xwin.main()
