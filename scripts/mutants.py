#!/usr/bin/python3
"""Mutation testing: applies each fault of scripts/mutants.txt to a copy of
the sources, one at a time, rebuilds, runs the tests, and reports which test
killed which mutant.

The copy lives under build/mutants, so an interrupted run never leaves a
fault in src/. Tests run in stages, cheapest first, and a mutant stops at the
first stage that kills it.

usage: mutants.py [--only ID,ID] [--tests REGEX] [--work DIR] [--json FILE]
                  [--compare FILE] [--report]
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = TREE = BUILD = ""
# ctest -R/-E pairs, cheapest first.
STAGES = [("", "^(window|memcheck|install|fuzz)"), ("^window_[a-z]", "^window_compat"),
          ("^fuzz", None), ("^(window_compat|memcheck|install)", None)]


def load(path):
    """Mutants as dicts: id, file, what, old, new (\\n in old and new)."""
    mutants, cur = [], None
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("== "):
            ident, rest = line[3:].split(" ", 1)
            where, what = rest.split(": ", 1)
            cur = dict(id=ident, file=where, what=what, old=None, new=None)
            mutants.append(cur)
        elif line.startswith("- ") and cur:
            cur["old"] = line[2:].replace("\\n", "\n")
        elif line.startswith("+ ") and cur:
            cur["new"] = line[2:].replace("\\n", "\n")
        elif line == "+" and cur:
            cur["new"] = ""
    for m in mutants:
        if m["old"] is None or m["new"] is None:
            sys.exit(f"mutants: {m['id']} lacks its - or + line")
    return mutants


def run(cmd, log, **kw):
    with open(log, "w") as out:
        return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode


def copy_tree():
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split()
    for f in files:
        src, dst = os.path.join(ROOT, f), os.path.join(TREE, f)
        if os.path.isfile(src):
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            # A plain copy dates the file now, so that the build sees it changed.
            if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
                shutil.copyfile(src, dst)
                shutil.copymode(src, dst)


def build():
    """Builds the program and, where the tests have a target of their own, them."""
    targets = subprocess.run(["cmake", "--build", BUILD, "--target", "help"],
                             capture_output=True, text=True).stdout
    extra = ["tests"] if re.search(r"^\.\.\. tests$", targets, re.M) else []
    return run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "all"]
               + extra, os.path.join(WORK, "build.log")) == 0


def failed_tests():
    """Runs the stages; returns the failed tests of the first failing one."""
    for include, exclude in STAGES:
        cmd = ["ctest", "-j", str(os.cpu_count()), "--timeout", "300"]
        cmd += ["-R", include] if include else []
        cmd += ["-E", exclude] if exclude else []
        log = os.path.join(WORK, "ctest.log")
        if run(cmd, log, cwd=BUILD) == 0:
            continue
        text = open(log, errors="replace").read()
        names = re.findall(r"^\s*\d+ - (\S+) \(", text.split("tests FAILED:")[-1], re.M)
        return names or ["ctest"]
    return []


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", help="comma-separated mutant ids")
    ap.add_argument("--json", help="where the results go (default WORK/results.json)")
    ap.add_argument("--compare", help="an earlier results.json to set beside")
    ap.add_argument("--tests", help="run only the tests matching this, in one stage")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "mutants"))
    ap.add_argument("--report", action="store_true", help="only print the table of --json")
    args = ap.parse_args()
    global WORK, TREE, BUILD, STAGES
    WORK = os.path.abspath(args.work)
    TREE, BUILD = os.path.join(WORK, "tree"), os.path.join(WORK, "build")
    args.json = args.json or os.path.join(WORK, "results.json")
    if args.tests:
        STAGES = [(args.tests, None)]

    mutants = load(os.path.join(ROOT, "scripts", "mutants.txt"))
    before = json.load(open(args.compare)) if args.compare else None
    if args.report:
        return report(mutants, json.load(open(args.json)), before)
    if args.only:
        keep = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in keep]
    os.makedirs(WORK, exist_ok=True)
    copy_tree()
    if not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        run(["cmake", "-S", TREE, "-B", BUILD, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             "-DZIMBALO_BENCH=OFF"],
            os.path.join(WORK, "configure.log"))
    if not build():
        sys.exit("mutants: the unmutated tree does not build; see " + WORK + "/build.log")
    if failed_tests():
        sys.exit("mutants: the unmutated tree fails its tests; see " + WORK + "/ctest.log")

    results = {}
    for m in mutants:
        path = os.path.join(TREE, m["file"])
        original = open(path, encoding="utf-8").read()
        if original.count(m["old"]) != 1:
            sys.exit(f"mutants: {m['id']}: the text to change occurs "
                     f"{original.count(m['old'])} times in {m['file']}")
        start = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["old"], m["new"]))
            killers = failed_tests() if build() else None
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        results[m["id"]] = "no build" if killers is None else ",".join(killers) or "SURVIVED"
        print(f"{m['id']:4} {time.time() - start:5.0f}s  {results[m['id']]}", flush=True)
    build()

    if args.only and os.path.exists(args.json):
        merged = json.load(open(args.json))
        merged.update(results)
        results = merged
    json.dump(results, open(args.json, "w"), indent=1)
    report(load(os.path.join(ROOT, "scripts", "mutants.txt")), results, before)


def report(mutants, results, before):
    """A Markdown table of every mutant, and the kill rate of each run."""
    def killed(r):
        return r not in (None, "SURVIVED", "no build")
    head = "| id | where | fault |" + (" before |" if before else "") + " killed by |"
    print("\n" + head + "\n|" + "---|" * head.count(" |"))
    for m in mutants:
        if m["id"] not in results:
            continue
        cells = [m["id"], f"`{m['file']}`", m["what"]]
        cells += [before.get(m["id"], "")] if before else []
        print("| " + " | ".join(cells + [results[m["id"]]]) + " |")
    for name, res in (("before", before), ("now", results)):
        if res:
            built = [r for r in res.values() if r != "no build"]
            n = sum(killed(r) for r in built)
            print(f"\nKilled {name}: {n} of {len(built)} ({100 * n // max(1, len(built))}%)")


if __name__ == "__main__":
    main()
