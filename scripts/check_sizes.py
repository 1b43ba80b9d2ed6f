#!/usr/bin/env python3
"""Fails when a function in src/ runs over MAX_FUNCTION lines, a file over
MAX_FILE lines, or the folders of src/ include each other in a cycle.

A function is counted from the line its signature starts on to its closing
brace, blank lines left out. The scan of braces skips comments, string and
character literals, so it needs no compiler; it knows what C++ blocks are not
function bodies (namespaces, classes, enums, initialiser lists, control
statements) from the words before the brace.

Functions not yet split are listed in STILL_LONG with the size they may
not grow past.

Usage: scripts/check_sizes.py [--list N] [ROOT]
"""
import os
import re
import sys

MAX_FUNCTION = 80
MAX_FILE = 600
# Functions and files still over the limits, with the size each may not
# pass while it waits to be split; an entry goes once its function fits.
STILL_LONG = {}
SOURCES = (".cpp", ".h", ".c")


def strip(text):
    """The text with comments and literals blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = ")" + m.group(1) + '"'
            j = text.find(end, i + m.end())
            j = n if j < 0 else j + len(end)
            out.append('""' + re.sub(r"[^\n]", "", text[i:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():
                out.append(" ")  # a digit separator
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


NOT_FUNCTION = re.compile(
    r"\b(namespace|class|struct|union|enum|if|for|while|switch|catch|do|else|try)\b[^;{}]*$|=\s*$|\breturn\b[^;{}]*$"
)


def first_branches(text):
    """The text with every #else and #elif branch blanked, lines kept, so a
    signature written twice for two library versions opens one body."""
    out, skipping, depth = [], [], 0
    for line in text.split("\n"):
        word = re.match(r"\s*#\s*(\w+)", line)
        word = word.group(1) if word else ""
        if word.startswith("if"):
            depth += 1
        elif word in ("else", "elif") and (not skipping or skipping[-1] != depth):
            skipping.append(depth)
        elif word == "endif":
            if skipping and skipping[-1] == depth:
                skipping.pop()
            depth -= 1
        out.append("" if skipping else line)
    return "\n".join(out)


def functions(text):
    """(name, first line, length) of every outermost function body."""
    text = first_branches(text)
    code = strip(text)
    lines = code.split("\n")
    raw = text.split("\n")
    starts = [0]
    for line in lines:
        starts.append(starts[-1] + len(line) + 1)

    def line_of(pos):
        lo, hi = 0, len(starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if starts[mid] <= pos:
                lo = mid
            else:
                hi = mid - 1
        return lo

    found = []
    stack = []  # for each open brace: True when it opens a function body
    last_break = 0
    parens = 0
    for pos, c in enumerate(code):
        if c == "(":
            parens += 1
        elif c == ")":
            parens = max(parens - 1, 0)
        elif c == "{" and parens > 0:
            stack.append((False, -1, ""))  # a braced value inside parentheses
        elif c == "{":
            head = code[last_break:pos]
            inside_function = any(s[0] for s in stack)
            is_function = (
                not inside_function
                and ")" in head
                and not NOT_FUNCTION.search(head.strip())
                and not head.strip().startswith("#")
            )
            if is_function:
                sig = head.strip()
                first = line_of(last_break + len(head) - len(head.lstrip()))
                name = re.findall(r"([~\w:]+)\s*\(", sig)
                stack.append((True, first, name[0] if name else sig[:40]))
            else:
                stack.append((False, 0, ""))
            last_break = pos + 1
        elif c == "}":
            if stack:
                is_function, first, name = stack.pop()
                if first == -1:
                    continue
                if is_function:
                    last = line_of(pos)
                    length = sum(1 for k in range(first, last + 1) if raw[k].strip())
                    found.append((name, first + 1, length))
            last_break = pos + 1
        elif c == ";":
            last_break = pos + 1
        elif c == "\n" and code[last_break:pos].lstrip().startswith("#"):
            last_break = pos + 1
    return found


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def folder_cycles(root, files):
    """Cycles among the folders of src/ through their quoted includes."""
    edges = {}
    for path in files:
        rel = os.path.relpath(path, os.path.join(root, "src"))
        here = os.path.dirname(rel)
        with open(path, encoding="utf-8", errors="replace") as f:
            for name in INCLUDE.findall(f.read()):
                there = os.path.dirname(name)
                if there and there != here and os.path.exists(os.path.join(root, "src", name)):
                    edges.setdefault(here, set()).add(there)
    cycles = []
    state = {}

    def visit(node, path):
        state[node] = 1
        path.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                cycles.append(path[path.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt, path)
        path.pop()
        state[node] = 2

    for node in sorted(edges):
        if node not in state:
            visit(node, [])
    return cycles


def main(argv):
    listing = 0
    if len(argv) > 1 and argv[1] == "--list":
        listing = int(argv[2])
        argv = argv[:1] + argv[3:]
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    files = []
    for base, _, names in os.walk(os.path.join(root, "src")):
        files += [os.path.join(base, n) for n in sorted(names) if n.endswith(SOURCES)]
    faults = []
    everything = []
    sizes = {}
    for path in sorted(files):
        rel = os.path.relpath(path, root)
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        count = text.count("\n")
        sizes[rel] = count
        if count > max(MAX_FILE, STILL_LONG.get(rel, 0)):
            faults.append(f"{rel}: {count} lines (at most {MAX_FILE})")
        for name, line, length in functions(text):
            everything.append((length, f"{rel}:{line}: {name}"))
            sizes[f"{rel}:{name}"] = length
            if length > max(MAX_FUNCTION, STILL_LONG.get(f"{rel}:{name}", 0)):
                faults.append(f"{rel}:{line}: {name} is {length} lines (at most {MAX_FUNCTION})")
    for key, limit in STILL_LONG.items():
        if sizes.get(key, 0) <= (MAX_FILE if ":" not in key else MAX_FUNCTION):
            faults.append(f"{key} fits the limit now: take it out of STILL_LONG")
    for cycle in folder_cycles(root, files):
        faults.append("include cycle between folders: " + " -> ".join(cycle))
    for length, where in sorted(everything, reverse=True)[:listing]:
        print(f"{length:5d} {where}")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
