#!/usr/bin/python3
"""Mutation testing: applies each fault to a copy of the sources, one at a
time, rebuilds, runs the tests, and reports which test killed which mutant.

Two sets of faults: the realistic ones written by hand in scripts/mutants.txt,
and with --mechanical a seeded sample of the mutants that fixed operators
make from src/ (scripts/mechanical.py). A mechanical mutant that compiles
counts unless scripts/mutants-equivalent.txt lists it, with the reason no
test can tell it from the original.

The copy lives under build/mutants, so an interrupted run never leaves a
fault in src/. Tests run in stages, cheapest first, each building only what
it runs, and a mutant stops at the first stage that kills it. A mutant
measured before first runs the test and rows that killed it then, alone, so
that a run after a change of the tests costs a build and a row for most.

The Windows release and the page are stages of their own, run once the
Linux stages pass (a fault in a file that only they build goes straight to
its stage): each rebuilds its release from the mutated tree, with the
libraries copied once from build/, and runs its rows.

Results go to docs/mutants/, saved after each mutant, each with the commit
it was measured on and a digest of the file it mutates and of the tests.
--resume goes on from them, keeping only the results whose file and tests
are still as they were, so that an interrupted run loses one mutant at
most. While WORK/pause exists, the run waits before its next mutant.
--report prints the tables of docs/TESTING.md from the results; --check
FILE fails when FILE's tables are not what it prints.

usage: mutants.py [--only ID,ID] [--mechanical] [--seed N] [--size N]
                  [--tests REGEX] [--work DIR] [--json FILE] [--compare FILE]
                  [--resume] [--report] [--check FILE]
"""
import argparse
import collections
import hashlib
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import time

import mechanical

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = TREE = BUILD = ""
# (platform, targets to build, ctest -R, ctest -E), cheapest first. The
# page's and the Windows stages build their release in their fixture.
STAGES = [("linux", ["unit_tests", "audio_tests", "screen_tests"], "^(unit|audio|screen)_tests$", None),
          ("linux", ["tests"], "_asan$|^fuzz_tests$|^standin", None),
          ("linux", ["tests"], "^window_[a-z]", "^window_(compat|windows|web)"),
          ("web", ["zimbalo"], "^window_web", None),
          ("linux", ["tests"], "^(window_compat|install)", None),
          ("windows", ["zimbalo"], "^window_windows", None)]
# The files that one platform's build alone compiles or reads; every other
# one reaches them all.
ONLY_ON = [("windows", r"src/sys_win\.cpp|dist/windows/|scripts/windows"),
           ("web", r"src/sys_web\.cpp|src/sdlweb/|dist/web/|scripts/web")]


NOT_RUN = "not run: listed as equivalent"


def platforms(path):
    """The platforms whose build a change of path can alter."""
    for name, pattern in ONLY_ON:
        if re.match(pattern, path):
            return {name}
    return {"linux", "web", "windows"}


def blocks(path):
    """The blocks of a fault file: (header, old, new) for each "== header",
    "- old" and "+ new" (a lone + for nothing; \\n for a line break)."""
    cur = None
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("== "):
            if cur:
                yield cur
            cur = [line[3:], None, None]
        elif line.startswith("- ") and cur:
            cur[1] = line[2:].replace("\\n", "\n")
        elif (line.startswith("+ ") or line == "+") and cur:
            cur[2] = line[2:].replace("\\n", "\n")
    if cur:
        yield cur


def load(path):
    """Hand-written mutants as dicts: id, file, what, old, new."""
    mutants = []
    for head, old, new in blocks(path):
        ident, rest = head.split(" ", 1)
        where, what = rest.split(": ", 1)
        if old is None or new is None:
            sys.exit(f"mutants: {ident} lacks its - or + line")
        mutants.append(dict(id=ident, file=where, what=what, old=old, new=new))
    return mutants


def load_equivalent(path):
    """(file, line as written, line as mutated, occurrence) -> why, from the
    blocks "== file[#occurrence]: why", "- line", "+ line" (spaces do not
    matter)."""
    table = {}
    for head, old, new in blocks(path):
        where, why = head.split(": ", 1)
        where, _, k = where.partition("#")
        table[(where, " ".join(old.split()), " ".join(new.split()), int(k or 1))] = why
    return table


def place(m, text):
    """Gives a hand-written mutant the start and end of the one place it changes."""
    if "start" not in m:
        if text.count(m["old"]) != 1:
            sys.exit(f"mutants: {m['id']}: the text to change occurs "
                     f"{text.count(m['old'])} times in {m['file']}")
        m["start"] = text.index(m["old"])
        m["end"] = m["start"] + len(m["old"])
    return text[:m["start"]] + m["new"] + text[m["end"]:]


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, capture_output=True, text=True,
                          check=True).stdout


def commit():
    """The commit the sources are at, marked when they differ from it (the
    results themselves, which a run writes as it goes, aside)."""
    return git("rev-parse", "--short", "HEAD").strip() + "+changes" * bool(
        git("status", "--porcelain", "--untracked-files=no", "--", ".", ":!docs/mutants"))


def state(m, tests):
    """A digest of what a mutant's result depends on: the file it mutates,
    and every test (tests, the digest of the tests' files)."""
    return hashlib.sha256(tests.encode() + open(os.path.join(ROOT, m["file"]), "rb").read()
                          ).hexdigest()[:16]


def tests_digest():
    h = hashlib.sha256()
    for f in git("ls-files", "tests").split():
        h.update(f.encode() + b"\0" + open(os.path.join(ROOT, f), "rb").read())
    return h.hexdigest()


def run(cmd, log, **kw):
    with open(log, "w") as out:
        return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode


def copy_tree():
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split() + ["-I" + TREE + "/src"]
    for f in files:
        src, dst = os.path.join(ROOT, f), os.path.join(TREE, f)
        if os.path.isfile(src):
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            # A plain copy dates the file now, so that the build sees it changed.
            if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
                shutil.copyfile(src, dst)
                shutil.copymode(src, dst)


def build(targets=("all", "tests")):
    return run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", *targets],
               os.path.join(WORK, "build.log")) == 0


def seed_libraries():
    """Copies the Windows and browser libraries, built from Debian's sources
    by make test, into the mutants' build, so that their stages build only
    the game."""
    for name in ("windows", "web"):
        src, dst = os.path.join(ROOT, "build", name), os.path.join(BUILD, name)
        for part in ("prefix", "stamps", "sources"):
            if os.path.isdir(os.path.join(src, part)) and not os.path.isdir(os.path.join(dst, part)):
                shutil.copytree(os.path.join(src, part), os.path.join(dst, part), symlinks=True)


def restore_libraries():
    """A fault in the browser's back end is built into its SDL: puts back
    the library built from the sources as they are, so that the next mutant
    does not build it again."""
    keep = os.path.join(WORK, "web-libraries")
    for part in ("prefix", "stamps"):
        live, saved = os.path.join(BUILD, "web", part), os.path.join(keep, part)
        if not os.path.isdir(saved):
            shutil.copytree(live, saved, symlinks=True)
        else:
            shutil.rmtree(live)
            # Dated now, so that the game built on the mutated library is
            # linked again.
            shutil.copytree(saved, live, symlinks=True, copy_function=shutil.copy)


def stage_fails(platform, targets, include, exclude, rows=None):
    """Builds a stage's targets and runs its tests (with rows, only those
    rows of the window tables); returns the failed tests, each window table
    naming the rows that failed ("FAIL scenario platform"), [] when all
    pass, or None when the mutant does not build."""
    if not build(targets):
        return None
    cmd = ["ctest", "-j", str(os.cpu_count()), "--timeout", "60", "--output-on-failure",
           "-R", include]
    cmd += ["-E", exclude] if exclude else []
    log = os.path.join(WORK, "ctest.log")
    # A mutant may allocate without end: the plain tests get 4 GiB of
    # address space (the sanitizers' reservations need more; the stand-ins'
    # tests run sanitized).
    limit = (lambda: resource.setrlimit(resource.RLIMIT_AS, (4 << 30,) * 2)) \
        if not any(w in include for w in ("asan", "standin", "window")) else None
    env = {**os.environ, "ZIMBALO_FIRST_FAILURE": "1"}
    if rows:
        env["ZIMBALO_ROWS"] = "|".join("^%s$" % re.escape(r) for r in rows)
    if run(cmd, log, cwd=BUILD, preexec_fn=limit, env=env) == 0:
        return []
    text = open(log, errors="replace").read()
    names = re.findall(r"^\s*\d+ - (\S+) \(", text.split("tests FAILED:")[-1], re.M)
    if any(n.endswith("_setup") and n != "window_compat_setup" for n in names):
        return None  # the release did not build
    found = sorted(set(re.findall(r"^FAIL (.+)$", text, re.M)))
    if names and found:
        names[-1] += " (%s)" % "; ".join(found)
    return names or ["ctest"]


def failed_tests(reach=("linux", "web", "windows"), before=None):
    """Runs the stages that reach's platforms build; returns the failed
    tests of the first failing one, or None when the mutant does not build.
    With before, an earlier verdict, the test and rows that killed the
    mutant then run first, alone: a kill there saves the stages before."""
    killer = re.match(r"(\w+)[^(]*(?:\((.*)\))?$", before or "")
    if killer and before not in ("SURVIVED", "no build", NOT_RUN):
        name, rows = killer.group(1), killer.group(2) and killer.group(2).split("; ")
        stage = next((s for s in STAGES if (not s[0] or s[0] in reach) and re.search(s[2], name)
                      and not (s[3] and re.search(s[3], name))), None)
        found = stage and stage_fails(stage[0], stage[1], "^%s$" % name, None, rows)
        if found:
            return found
    for stage in STAGES:
        if stage[0] and stage[0] not in reach:
            continue
        found = stage_fails(*stage)
        if found != []:
            return found
    return []


def try_mutant(m, before=None):
    """Applies m to the tree, runs the stages (first the test that killed
    it before, if any), puts the file back; returns what killed it,
    "SURVIVED" or "no build"."""
    path = os.path.join(TREE, m["file"])
    original = open(path, encoding="utf-8").read()
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(place(m, original))
        killers = failed_tests(platforms(m["file"]), before)
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
        if m["file"].startswith("src/sdlweb/"):
            restore_libraries()
    return "no build" if killers is None else ",".join(killers) or "SURVIVED"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", help="comma-separated mutant ids")
    ap.add_argument("--mechanical", action="store_true", help="the mechanical sample")
    ap.add_argument("--seed", type=int, default=2026, help="of the mechanical sample")
    ap.add_argument("--size", type=int, default=150, help="mechanical mutants that build")
    ap.add_argument("--json", help="where the results go (default WORK/results*.json)")
    ap.add_argument("--compare", help="an earlier results file to set beside")
    ap.add_argument("--tests", help="run only the tests matching this, in one stage")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "mutants"))
    ap.add_argument("--report", action="store_true", help="only print the table of --json")
    ap.add_argument("--resume", action="store_true",
                    help="skip the mutants --json has, measured on today's file and tests")
    ap.add_argument("--check", help="a document whose tables must be --report's")
    args = ap.parse_args()
    global WORK, TREE, BUILD, STAGES
    WORK = os.path.abspath(args.work)
    TREE, BUILD = os.path.join(WORK, "tree"), os.path.join(WORK, "build")
    name = "results-mechanical-%d.json" % args.seed if args.mechanical else "results.json"
    args.json = args.json or os.path.join(ROOT, "docs", "mutants", name)
    if args.tests:
        STAGES = [(None, ["all", "tests"], args.tests, None)]

    equivalent = load_equivalent(os.path.join(ROOT, "scripts", "mutants-equivalent.txt"))
    if args.mechanical:
        mutants = mechanical.sample(ROOT, args.seed)
        for m in mutants:
            m["what"] = mechanical.describe(m)
            m["equivalent"] = equivalent.get(mechanical.key(m))
        # An entry that names no mutant of today's sources is stale: its
        # line moved or changed, and the mutant it meant now counts.
        stale = set(equivalent) - {mechanical.key(m) for m in mutants}
        if stale:
            sys.exit("mutants: scripts/mutants-equivalent.txt names no mutant of src/ in: "
                     + "; ".join("%s: %s" % (k[0], k[1]) for k in sorted(stale)))
    else:
        mutants = load(os.path.join(ROOT, "scripts", "mutants.txt"))
        for m in mutants:  # each fault's text must be found now, not an hour in
            place(m, open(os.path.join(ROOT, m["file"]), encoding="utf-8").read())
    before = verdicts(json.load(open(args.compare))) if args.compare else None
    saved = json.load(open(args.json)) if os.path.exists(args.json) else {"mutants": {}}
    if args.report or args.check:
        return check(args.check, report(mutants, saved, before, args.mechanical))
    everyone, keep = {m["id"]: m for m in mutants}, set((args.only or "").split(","))
    if args.only:
        mutants = [m for m in mutants if m["id"] in keep]
    os.makedirs(WORK, exist_ok=True)
    copy_tree()
    seed_libraries()
    if not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        # Optimised without debugging information: the quickest to rebuild.
        run(["cmake", "-S", TREE, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
             "-DZIMBALO_BENCH=OFF"], os.path.join(WORK, "configure.log"))
    if not build():
        sys.exit("mutants: the unmutated tree does not build; see " + WORK + "/build.log")
    # The unmutated tree must pass the stages that the mutants reach.
    if failed_tests(set().union(*(platforms(m["file"]) for m in mutants))):
        sys.exit("mutants: the unmutated tree fails its tests; see " + WORK + "/ctest.log")
    if os.path.isdir(os.path.join(BUILD, "web", "prefix")):
        shutil.rmtree(os.path.join(WORK, "web-libraries"), ignore_errors=True)
        restore_libraries()  # keeps the libraries as built from the sources

    tests, now = tests_digest(), commit()
    # The verdicts to try first: the saved ones, and those the results held
    # when a run first began from them (a run overwrites what it measures
    # again, and one stopped midway must still find the rest).
    hints = os.path.join(WORK, "hints-" + os.path.basename(args.json))
    if not os.path.exists(hints):
        json.dump(saved, open(hints, "w"))
    hints = {**json.load(open(hints))["mutants"], **saved["mutants"]}
    # Kept from the saved results: with --only, every other mutant's as it
    # was; with --resume, those measured on today's file and tests.
    results = {i: r for i, r in saved["mutants"].items() if i in everyone and (
        i not in keep if args.only else args.resume and r[1] == state(everyone[i], tests))}
    flags, built = None, sum(r[0] != "no build" for r in results.values())
    for m in mutants:
        if m["id"] in results:
            continue
        # While WORK/pause exists, the run waits between two mutants, so
        # that other work on the machine does not slow a mutant's tests
        # into failing.
        while os.path.exists(os.path.join(WORK, "pause")):
            time.sleep(5)
        if args.mechanical:
            if built == args.size:
                break
            flags = flags or subprocess.run(
                ["pkg-config", "--cflags", "sdl", "SDL_ttf", "SDL_gfx", "libmpg123"],
                capture_output=True, text=True, check=True).stdout.split() + ["-I" + TREE + "/src"]
            path = os.path.join(TREE, m["file"])
            # Checked here when the Linux build compiles the file, else by
            # its platform's stage.
            if "linux" in platforms(m["file"]) and \
                    not mechanical.compiles(path, place(m, open(path, encoding="utf-8").read()), flags):
                continue  # not a program: not part of the sample
        start = time.time()
        # A mutant listed as equivalent counts in no rate, and would run
        # every stage to survive: it is left out (--only runs it anyway).
        verdict = NOT_RUN if m.get("equivalent") and not args.only else try_mutant(
            m, hints.get(m["id"], [None])[0])
        results[m["id"]] = [verdict, state(m, tests), now]
        built += verdict != "no build"
        print(f"{m['id']:4} {time.time() - start:5.0f}s  {verdict}  {m['what']}", flush=True)
        # Saved at once, with the commit of the run that measured each.
        os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
        json.dump({"commit": now, "mutants": results}, open(args.json, "w"), indent=1,
                  sort_keys=True)
    build()
    print(report(list(everyone.values()), {"mutants": results}, before, args.mechanical))


def verdicts(saved):
    return {i: r[0] for i, r in saved["mutants"].items()}


def check(document, tables):
    """Prints tables, or with a document, fails unless it holds them whole."""
    if not document:
        return print(tables)
    if tables not in open(document, encoding="utf-8").read():
        sys.exit(f"mutants: {document} does not hold the tables that --report prints from "
                 "the results; paste them in")


def report(mutants, saved, before, sample):
    """The Markdown that docs/TESTING.md shows of a set of results: the kill
    rate, the commits measured on and the tests that killed first, then a
    row for each mutant (of a sample, each one not killed). A mutant listed
    as equivalent counts in no rate."""
    results = verdicts(saved)
    equivalent = {m["id"]: m["equivalent"] for m in mutants if m.get("equivalent")}

    def killed(r):
        return r not in (None, "SURVIVED", "no build", NOT_RUN)
    counted = [i for i, r in results.items() if r != "no build" and i not in equivalent]
    n = sum(killed(results[i]) for i in counted)
    first = collections.Counter(results[i].split(",")[0].split(" (")[0] for i in counted
                                if killed(results[i]))
    if not results:
        return "Not measured on these sources yet."
    out = ["%d of the %d mutants measured, on %s: **%d killed of %d** (%d%%), with %d listed as "
           "equivalent left out and %d that do not build. Killed first by %s." % (
               len(results), len(mutants),
               ", ".join(sorted({r[2] for r in saved["mutants"].values()})), n, len(counted),
               100 * n // max(1, len(counted)), len(equivalent.keys() & results.keys()),
               list(results.values()).count("no build"),
               ", ".join("`%s` %d" % kv for kv in first.most_common())), ""]
    head = "| id | where | fault |" + (" before |" if before else "") + " killed by |"
    out += [head, "|" + "---|" * head.count(" |")]
    for m in mutants:
        verdict = results.get(m["id"])
        if verdict is None or sample and killed(verdict):
            continue
        cells = [m["id"], f"`{m['file']}`", m["what"].replace("|", "\\|")]
        cells += [before.get(m["id"], "")] if before else []
        if m["id"] in equivalent and not killed(verdict):
            verdict = "equivalent: " + equivalent[m["id"]]
        out.append("| " + " | ".join(cells + [verdict]) + " |")
    return "\n".join(out)


if __name__ == "__main__":
    main()
