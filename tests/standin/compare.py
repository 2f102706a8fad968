#!/usr/bin/python3
"""Usage: compare.py REAL_DRAW STANDIN_DRAW, where game_over.ttf is.

Fails unless both print the same lines: no picture may differ in a pixel,
size, format or flag. For the first that differ, prints the pixels that do.
"""
import subprocess
import sys


def run(program, *args):
    out = subprocess.run([program, *args], stdout=subprocess.PIPE, text=True)
    if out.returncode != 0:
        sys.exit("%s failed:\n%s" % (program, out.stdout[-2000:]))
    return out.stdout.splitlines()


real, ours = sys.argv[1:3]
want, got = run(real), run(ours)
wrong = [(w, g) for w, g in zip(want, got) if w != g]
for w, g in wrong[:5]:
    print("real:    %s\nstandin: %s" % (w, g))
    rows = zip(run(real, w.split(" | ")[0]), run(ours, w.split(" | ")[0]))
    pixels = [(x, y, p, q) for y, (a, b) in enumerate(rows)
              for x, (p, q) in enumerate(zip(a.split(), b.split())) if p != q]
    for x, y, p, q in pixels[:20]:
        print("  (%d,%d) real %s standin %s" % (x, y, p, q))
print("%d pictures against %d, %d differ" % (len(want), len(got), len(wrong)))
sys.exit(1 if wrong or len(want) != len(got) or not want else 0)
