"""The Debian package, built as `make package` builds it (-C dist/deb.cmake,
cpack): its control fields and dependencies, its files in Debian's layout
for games, and the game run from the unpacked package."""
import contextlib
import glob
import gzip
import os
import re
import subprocess
import unittest

import installcheck as ic

BIN, PROGRAM_DIR, DATA_DIR = "games", "lib/games/zimbalo", "share/games/zimbalo"
# The libraries that the package must depend on, by the names the program
# links them under.
LIBRARIES = (r"libSDL-1\.2\.so", r"libSDL_ttf-2\.0\.so", r"libSDL_gfx\.so", r"libmpg123\.so")


class Package(unittest.TestCase, ic.LauncherChecks):
    @classmethod
    def setUpClass(cls):
        cls.work = ic.WORK
        tree = ic.build_tree("deb", "-C", os.path.join(ic.SOURCE, "dist", "deb.cmake"))
        ic.run("cpack", "-G", "DEB", cwd=tree)
        arch = ic.run("dpkg", "--print-architecture").strip()
        debs = glob.glob(os.path.join(tree, "*.deb"))
        cls.deb = os.path.join(tree, "zimbalo_%s_%s.deb" % (ic.VERSION, arch))
        assert debs == [cls.deb], debs
        cls.root = os.path.join(ic.WORK, "unpacked")
        ic.run("dpkg-deb", "-x", cls.deb, cls.root)
        cls.x = contextlib.ExitStack()
        cls.display = cls.x.enter_context(ic.xvfb())

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    def field(self, name):
        return ic.run("dpkg-deb", "-f", self.deb, name).strip()

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "zimbalo")
        self.assertEqual(self.field("Version"), ic.VERSION)
        self.assertEqual(self.field("Section"), "games")
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^<>@]+@[^<>@]+>$")
        self.assertRegex(self.field("Description"), r"^\S.*\n( \S.*\n)*( \S.*)$")

    def test_depends_on_the_linked_libraries(self):
        depends = {re.split(r"[\s(]", d.strip())[0] for d in self.field("Depends").split(",")}
        program = os.path.join(self.root, "usr", PROGRAM_DIR, "zimbalo")
        needed = re.findall(r"NEEDED\s+(\S+)", ic.run("objdump", "-p", program))
        for pattern in LIBRARIES:
            with self.subTest(library=pattern):
                names = [n for n in needed if re.match(pattern, n)]
                self.assertEqual(len(names), 1, needed)
                owners = ic.run("dpkg", "-S", "*/" + names[0])
                packages = {line.split(":")[0] for line in owners.splitlines()}
                self.assertTrue(packages & depends, "%s (from %s) not in %s"
                                % (packages, names[0], depends))

    def test_contents(self):
        expected = {"usr/" + path: mode for path, mode in ic.expected_files(
            BIN, PROGRAM_DIR, DATA_DIR, "zimbalo.6.gz").items()}
        expected["usr/share/doc/zimbalo/copyright"] = 0o644
        expected["usr/share/doc/zimbalo/changelog.gz"] = 0o644
        found = {}
        for line in ic.run("dpkg-deb", "-c", self.deb).splitlines():
            perms, owner, _size, _date, _time, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            self.assertTrue(path.startswith("./usr/"), line)
            if perms.startswith("-"):
                found[path[2:]] = perms
        self.assertEqual(set(found), set(expected))
        for path, mode in expected.items():
            with self.subTest(path=path):
                self.assertEqual(found[path], "-rwxr-xr-x" if mode == 0o755 else "-rw-r--r--")

    def test_unpacked_game_runs(self):
        usr = os.path.join(self.root, "usr")
        self.assertRunsGame(os.path.join(usr, BIN, "zimbalo"),
                            os.path.join(usr, PROGRAM_DIR, "zimbalo"),
                            os.path.join(usr, DATA_DIR))
        self.assertFailsWithoutDisplay(os.path.join(usr, BIN, "zimbalo"))

    def test_manual(self):
        with gzip.open(os.path.join(self.root, "usr/share/man/man6/zimbalo.6.gz"), "rt") as f:
            text = f.read()
        ic.check_manual(self, text, ["/usr/games/zimbalo", "/usr/lib/games/zimbalo/zimbalo"]
                        + ["/usr/share/games/zimbalo/" + name for name in ic.DATA])

    def test_program_is_stripped(self):
        program = os.path.join(self.root, "usr", PROGRAM_DIR, "zimbalo")
        sections = subprocess.run(["objdump", "-h", program], stdout=subprocess.PIPE,
                                  text=True, check=True).stdout
        self.assertIn(".text", sections)
        self.assertNotIn(".debug_info", sections)


if __name__ == "__main__":
    ic.main()
