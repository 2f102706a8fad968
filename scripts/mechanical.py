"""Mechanical mutants: every place in src/ where one of five fixed operators
applies, each a change of one place, and a seeded sample of them.

The operators work on the text, with comments, strings, character literals
and preprocessor lines blanked out first, and lean on the sources' layout
(binary operators between spaces, one statement a line):
  rel    flip a relational or equality operator (== and !=, < and >=, > and <=)
  int    add or subtract 1 on an integer literal
  call   delete a statement that is a call, leaving {}
  neg    negate the condition of an if or a while
  swap   swap two neighbouring arguments of a call, of the same kind (two
         literals of one kind, or two other expressions; the compiler then
         refuses most pairs of different types)
"""
import collections
import hashlib
import os
import re
import subprocess

KEYWORDS = {"if", "while", "for", "switch", "return", "sizeof", "case", "else", "do", "new",
            "delete", "catch", "throw", "alignof", "decltype", "static_assert", "defined"}
FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}


def blank(text):
    """text with comments, literals and preprocessor lines turned to spaces,
    line breaks kept, so that offsets stay those of text."""
    out, i, n = list(text), 0, len(text)

    def wipe(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "
    line_start = True
    while i < n:
        c = text[i]
        if line_start and text[i:].lstrip(" \t").startswith("#"):
            j = i
            while j < n and (text[j] != "\n" or text[j - 1] == "\\"):
                j += 1
            wipe(i, j)
            i = j
            continue
        line_start = c == "\n" or (line_start and c in " \t")
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            wipe(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2) + 2
            wipe(i, j)
            i = j
        elif c in "\"'":
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == "\\" else 1
            wipe(i + 1, j)  # the quotes stay, to tell a literal from an expression
            i = j + 1
        else:
            i += 1
    return "".join(out)


def closing(code, at):
    """The index of the bracket that closes the one at code[at]."""
    depth = 0
    for k in range(at, len(code)):
        depth += code[k] in "([{"
        depth -= code[k] in ")]}"
        if depth == 0:
            return k
    return -1


def arguments(code, open_at, close_at):
    """(start, end) of each top-level argument between two parentheses,
    without the spaces around it."""
    spans, start, depth = [], open_at + 1, 0
    for k in range(open_at + 1, close_at + 1):
        ch = code[k]
        if ch in "([{":
            depth += 1
        elif ch in ")]}" and k < close_at:
            depth -= 1
        if (ch == "," and depth == 0) or k == close_at:
            a, b = start, k
            while a < b and code[a].isspace():
                a += 1
            while b > a and code[b - 1].isspace():
                b -= 1
            spans.append((a, b))
            start = k + 1
    return spans if spans != [(open_at + 1, open_at + 1)] else []


def kind(arg):
    if re.fullmatch(r"-?(\d+|0x[0-9a-fA-F]+)[uUlL]*", arg):
        return "int"
    if re.fullmatch(r"-?[\d.]+f?", arg):
        return "float"
    if arg.startswith('"'):
        return "string"
    # A declaration (a type, then a name) is not an argument.
    declared = re.search(r"[\w*&>]\s+[*&]?\w+(\[\w*\])?$", arg)
    return None if declared and not re.search(r"[-+*/%|&<>=?:]\s", arg) else "expr"


def candidates(root, files):
    """Every mechanical mutant of files (paths under root): dicts with file,
    start, end, new, op, line, before and after (the line as written and as
    mutated)."""
    found = []
    for rel in files:
        text = open(os.path.join(root, rel), encoding="utf-8").read()
        code = blank(text)
        here = []

        def add(op, start, end, new):
            here.append(dict(file=rel, start=start, end=end, new=new, op=op))
        for m in re.finditer(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)", code):
            add("rel", m.start(), m.end(), FLIP[m.group()])
        for m in re.finditer(r"(?<![\w.])(\d+|0x[0-9a-fA-F]+)([uUlL]*)(?![\w.])", code):
            value = int(m.group(1), 0)
            for v in (value + 1, value - 1):
                add("int", m.start(), m.end(), str(v) + m.group(2))
        for m in re.finditer(r"(?m)^[ \t]*((?:[A-Za-z_]\w*(?:::|\.|->))*([A-Za-z_]\w*))\s*\(", code):
            close = closing(code, m.end() - 1)
            after = code[close + 1:].lstrip()
            if m.group(2) not in KEYWORDS and after.startswith(";"):
                add("call", m.start(1), close + 1 + code[close + 1:].index(";") + 1, "{}")
        for m in re.finditer(r"\b(if|while)\s*\(", code):
            close = closing(code, m.end() - 1)
            if close > 0:
                add("neg", m.end(), close, "!(" + text[m.end():close] + ")")
        for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", code):
            if m.group(1) in KEYWORDS:
                continue
            close = closing(code, m.end() - 1)
            spans = arguments(code, m.end() - 1, close)
            for (a1, b1), (a2, b2) in zip(spans, spans[1:]):
                k = kind(code[a1:b1])
                if k and k == kind(code[a2:b2]) and text[a1:b1] != text[a2:b2]:
                    add("swap", a1, b2, text[a2:b2] + text[b1:a2] + text[a1:b1])
        for c in here:
            first = text.rfind("\n", 0, c["start"]) + 1
            last = text.find("\n", c["end"])
            last = len(text) if last < 0 else last
            c["line"] = text.count("\n", 0, c["start"]) + 1
            c["before"] = " ".join(text[first:last].split())
            c["after"] = " ".join((text[first:c["start"]] + c["new"] + text[c["end"]:last]).split())
        found += here
    return found


def describe(m):
    """file:line, the operator, and the line as mutated (a deleted call: as written)."""
    return f"{m['file']}:{m['line']} {m['op']}: " + (m["before"] if m["op"] == "call" else m["after"])


def compiles(path, mutated, flags):
    """Whether the file at path, as mutated, still compiles, warnings as
    errors (an unused function among them, which a syntax check alone
    misses)."""
    cmd = ["g++", "-std=c++17", "-c", "-o", os.devnull, "-Wall", "-Wextra", "-Werror",
           "-I" + os.path.dirname(path), *flags, "-x", "c++", "-"]
    return subprocess.run(cmd, input=mutated, text=True, capture_output=True).returncode == 0


def sample(root, seed):
    """All mutants of src/ in the seeded order in which they are tried. A
    mutant's place depends on the seed and on itself alone (its file, its
    line as written and as mutated), so that an edit elsewhere in src/
    leaves the rest of the order as it was, and two versions of the sources
    share most of their sample."""
    files = sorted(os.path.relpath(os.path.join(d, f), root)
                   for d, _, names in os.walk(os.path.join(root, "src"))
                   for f in names if f.endswith((".cpp", ".c")))
    found, seen = candidates(root, files), collections.Counter()
    for m in found:
        key = (m["file"], m["before"], m["after"])
        seen[key] += 1
        m["occurrence"] = seen[key]  # the same change of the same line, in text order
        m["rank"] = hashlib.sha256(repr((seed, key, seen[key])).encode()).hexdigest()
    found.sort(key=lambda m: m["rank"])
    for m in found:
        m["id"] = "X" + m["rank"][:6]
    return found


def key(m):
    """How the list of equivalent mutants names m."""
    return (m["file"], m["before"], m["after"], m["occurrence"])
