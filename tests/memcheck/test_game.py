"""The real game under valgrind's memcheck in a real window: menu, options,
a timed and a free game with clicks, then a close request. Passes when
memcheck finds no error and nothing definitely or indirectly lost, beyond
what valgrind.supp lists as the libraries' own."""
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
import xwin  # noqa: E402

SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")


class Memcheck(xwin.GameTest):
    def test_a_whole_session(self):
        server = self.xvfb(800, 600)
        log = tempfile.NamedTemporaryFile(suffix=".log", delete=False).name
        self.addCleanup(os.unlink, log)
        game = self.game(server, binary="/usr/bin/valgrind", cwd=os.path.dirname(xwin.BINARY),
                         args=["--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
                               "--suppressions=" + SUPPRESSIONS, "--error-exitcode=9",
                               "--log-file=" + log, xwin.BINARY])
        window = server.wait_window(game=game, timeout=60)
        cx, cy = 400, 300
        row = lambda dy: cy + dy + 20
        steps = [
            lambda: server.move(cx, row(-100)),
            lambda: server.click(x=cx, y=row(50)),    # Options
            lambda: server.click(x=cx, y=row(0)),     # Difficile
            lambda: server.click(x=cx, y=row(-100)),  # Jouer
            lambda: [server.click(b, x=x, y=y) for b in (1, 3)
                     for x in range(50, 800, 150) for y in range(50, 600, 150)],
            lambda: server.key("Escape"),
            lambda: server.key("a"),
            lambda: server.click(x=cx, y=row(0)),     # Jeu Libre
            lambda: server.key("Escape"),
            lambda: server.key("a"),
        ]
        for step in steps:
            step()
            time.sleep(1.5)
        server.close_request(window)
        status, _, _ = game.wait_exit(60)
        with open(log) as f:
            report = f.read()
        self.assertEqual(status, 0, report[-3000:])
        self.assertRegex(report, r"ERROR SUMMARY: 0 errors")
        self.assertRegex(report, r"definitely lost: 0 bytes|All heap blocks were freed")
        self.assertNotRegex(report, r"indirectly lost: [1-9]")


if __name__ == "__main__":
    xwin.main()
