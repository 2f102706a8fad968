"""A staged install (DESTDIR, prefix /usr) in the default layout: the files,
the launcher that finds the program and its data wherever the tree is, the
manual, and an uninstall that removes exactly what the install added."""
import contextlib
import filecmp
import os
import shutil
import stat
import unittest

import installcheck as ic

BIN, PROGRAM_DIR, DATA_DIR = "bin", "libexec/zimbalo", "share/zimbalo"


class Tree(unittest.TestCase, ic.LauncherChecks):
    @classmethod
    def setUpClass(cls):
        cls.tree = ic.build_tree("tree")
        cls.work = ic.WORK
        cls.stage = os.path.join(ic.WORK, "stage")
        cls.install(destdir=cls.stage, prefix="/usr")
        cls.root = os.path.join(cls.stage, "usr")
        cls.x = contextlib.ExitStack()
        cls.display = cls.x.enter_context(ic.xvfb())

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    @classmethod
    def install(cls, prefix, destdir=None):
        ic.run("cmake", "--install", cls.tree, "--prefix", prefix,
               env=ic.environment(DESTDIR=destdir))

    def uninstall(self, destdir=None):
        return ic.run("cmake", "--build", self.tree, "--target", "uninstall",
                      env=ic.environment(DESTDIR=destdir))

    def launcher(self, root):
        return os.path.join(root, BIN, "zimbalo")

    def test_files_and_modes(self):
        expected = ic.expected_files(BIN, PROGRAM_DIR, DATA_DIR, "zimbalo.6")
        found = {p for p in ic.listing(self.root) if not p.endswith("/")}
        self.assertEqual(found, set(expected))
        for path, mode in expected.items():
            with self.subTest(path=path):
                self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.root, path)).st_mode),
                                 mode)
        for path, source in ic.sources(DATA_DIR).items():
            with self.subTest(copy_of=source):
                self.assertTrue(filecmp.cmp(os.path.join(self.root, path), source, shallow=False))

    def test_launcher_runs_the_program_in_the_data_directory(self):
        self.assertRunsGame(self.launcher(self.root), os.path.join(self.root, PROGRAM_DIR, "zimbalo"),
                            os.path.join(self.root, DATA_DIR))

    def test_moved_tree_still_runs(self):
        moved = os.path.join(self.work, "moved", "opt", "games", "zimbalo")
        shutil.copytree(self.root, moved, symlinks=True)
        try:
            self.assertRunsGame(self.launcher(moved), os.path.join(moved, PROGRAM_DIR, "zimbalo"),
                                os.path.join(moved, DATA_DIR))
            self.assertFailsWithoutDisplay(self.launcher(moved))
        finally:
            shutil.rmtree(os.path.join(self.work, "moved"))

    def test_without_display(self):
        self.assertFailsWithoutDisplay(self.launcher(self.root))

    def test_program_needs_its_font(self):
        self.assertNeedsItsFont(self.root, os.path.join(BIN, "zimbalo"), DATA_DIR)

    def test_manual_names_the_installed_paths(self):
        with open(os.path.join(self.root, "share/man/man6/zimbalo.6")) as f:
            text = f.read()
        ic.check_manual(self, text, ["/usr/bin/zimbalo", "/usr/libexec/zimbalo/zimbalo"]
                        + ["/usr/share/zimbalo/" + name for name in ic.DATA])

    def test_uninstall_from_destdir_leaves_nothing(self):
        stage = os.path.join(self.work, "stage2")
        self.install(destdir=stage, prefix="/usr/local")
        self.assertTrue(os.path.isfile(os.path.join(stage, "usr/local/bin/zimbalo")))
        self.uninstall(destdir=stage)
        self.assertFalse(os.path.exists(stage), ic.listing(stage) if os.path.exists(stage) else "")

    def test_uninstall_keeps_what_was_there(self):
        # A prefix that has some of our directories already, one with
        # another program's file, one empty.
        prefix = os.path.join(self.work, "prefix")
        os.makedirs(os.path.join(prefix, "bin"))
        os.makedirs(os.path.join(prefix, "share/metainfo"))
        os.makedirs(os.path.join(prefix, "share/applications"))
        with open(os.path.join(prefix, "share/applications/other.desktop"), "w") as f:
            f.write("[Desktop Entry]\n")
        before = ic.listing(prefix)
        self.install(prefix=prefix)
        self.install(prefix=prefix)  # a second install changes nothing
        after_install = ic.listing(prefix)
        expected = ic.expected_files(BIN, PROGRAM_DIR, DATA_DIR, "zimbalo.6")
        self.assertTrue(set(expected) <= after_install)
        out = self.uninstall()
        self.assertEqual(ic.listing(prefix), before, out)
        # Once gone, a second uninstall has nothing to do and says so.
        self.assertIn("Already gone", self.uninstall())
        self.assertEqual(ic.listing(prefix), before)


if __name__ == "__main__":
    ic.main()
