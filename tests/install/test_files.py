"""The desktop files as committed: the entry and the AppStream metadata pass
their validators and agree with each other and with the project, the icons
are what tools/make_icon.py draws, and the launcher is valid POSIX sh."""
import configparser
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

import installcheck as ic


def dist(*parts):
    return os.path.join(ic.SOURCE, "dist", *parts)


def validate(*cmd):
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          env=ic.environment())
    return proc.returncode, proc.stdout


class DesktopFiles(unittest.TestCase):
    def test_desktop_entry_is_valid(self):
        status, out = validate("desktop-file-validate", dist(ic.ID + ".desktop"))
        self.assertEqual((status, out), (0, ""))

    def test_desktop_entry_fields(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(dist(ic.ID + ".desktop"))
        e = entry["Desktop Entry"]
        self.assertEqual((e["Type"], e["Name"], e["Exec"], e["Icon"], e["Terminal"]),
                         ("Application", "Zimbalo", "zimbalo", ic.ID, "false"))
        self.assertEqual(e["Categories"], "Game;ArcadeGame;")

    def test_metainfo_is_valid(self):
        # Pedantic notes (an upper-case letter in the id) may remain; no
        # error, no warning, no info.
        status, out = validate("appstreamcli", "validate", "--no-net",
                               dist(ic.ID + ".metainfo.xml"))
        self.assertEqual(status, 0, out)
        problems = [line for line in out.splitlines() if line[:2] in ("E:", "W:", "I:")]
        self.assertEqual(problems, [])

    def test_metainfo_agrees(self):
        root = ET.parse(dist(ic.ID + ".metainfo.xml")).getroot()
        self.assertEqual(root.findtext("id"), ic.ID)
        self.assertEqual(root.findtext("launchable"), ic.ID + ".desktop")
        self.assertEqual(root.find("launchable").get("type"), "desktop-id")
        self.assertEqual(root.findtext("provides/binary"), "zimbalo")
        self.assertEqual([r.get("version") for r in root.iter("release")][0], ic.VERSION)
        self.assertEqual(root.find("content_rating").get("type"), "oars-1.1")
        for attribute in root.iter("content_attribute"):
            self.assertEqual(attribute.text, "none", attribute.get("id"))
        images = [i.text for i in root.iter("image")]
        self.assertEqual([os.path.basename(i) for i in images], ["menu.png", "game.png"])

    def test_icons_are_the_generated_ones(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, os.path.join(ic.SOURCE, "tools", "make_icon.py"), out],
                           check=True)
            made = sorted(p for p in ic.listing(out) if not p.endswith("/"))
            committed = sorted(p for p in ic.listing(dist("icons")) if not p.endswith("/"))
            self.assertEqual(made, committed)
            for path in made:
                with self.subTest(icon=path):
                    with open(os.path.join(out, path), "rb") as a, \
                            open(dist("icons", path), "rb") as b:
                        self.assertTrue(a.read() == b.read(), "differs from a fresh drawing")

    def test_icon_sizes(self):
        for size in (64, 128, 256):
            with self.subTest(size=size):
                with open(dist("icons", "%dx%d" % (size, size), ic.ID + ".png"), "rb") as f:
                    head = f.read(26)
                self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
                # IHDR: width, height, 8-bit RGBA.
                self.assertEqual(struct.unpack(">4sIIBB", head[12:26]), (b"IHDR", size, size, 8, 6))
        svg = ET.parse(dist("icons", "scalable", ic.ID + ".svg")).getroot()
        self.assertEqual(svg.tag, "{http://www.w3.org/2000/svg}svg")
        self.assertEqual(svg.get("viewBox"), "0 0 256 256")

    def test_launcher_is_posix_sh(self):
        for shell in ("dash", "sh"):
            with self.subTest(shell=shell):
                self.assertEqual(validate(shell, "-n", dist("zimbalo.sh.in")), (0, ""))


if __name__ == "__main__":
    ic.main()
