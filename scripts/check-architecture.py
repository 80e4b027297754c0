#!/usr/bin/env python3
"""Checks the #include lines of the product against the README's drawing.

Prints the include graph between folders. Fails when two files include each
other in a loop, when a library includes a program's header, when the drawing
in the README's Architecture section differs from the real graph, or when a
folder outgrows what one reader takes in at once.
Tests, benchmarks and fuzz targets are outside the product and not read.
"""
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUTSIDE = ("tests/", "bench/", "fuzz/", "build/", "packaging/", "cmake/")
# Sources a folder may hold; the window's folders were larger before this rule.
MOST_FILES = 16
LARGER_FOLDERS = {"ui": 34, "plot": 26, "programs/ivra": 26}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def product_files():
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                            capture_output=True, text=True, check=True).stdout.split()
    return sorted(f for f in listed
                  if f.endswith((".h", ".cpp")) and not f.startswith(OUTSIDE) and (ROOT / f).exists())


def folder_of(path):
    parts = path.split("/")
    return "/".join(parts[:2]) if parts[0] == "programs" else parts[0]


def file_graph(files):
    known = set(files)
    graph = {}
    for f in files:
        text = (ROOT / f).read_text(errors="replace")
        graph[f] = sorted({i for i in INCLUDE.findall(text) if i in known})
    return graph


def unit_of(path):
    # A header and its sources are one unit: foo.h, foo.cpp, foo_posix.cpp, foo_win32.cpp.
    stem = re.sub(r"_(posix|win32|libserialport|unavailable)$", "", path.rsplit(".", 1)[0])
    return stem


def loops(graph):
    units = {}
    for f, deps in graph.items():
        units.setdefault(unit_of(f), set()).update(unit_of(d) for d in deps if unit_of(d) != unit_of(f))
    found, state = [], {}

    def visit(u, stack):
        state[u] = 1
        stack.append(u)
        for v in sorted(units.get(u, ())):
            if state.get(v) == 1:
                found.append(stack[stack.index(v):] + [v])
            elif v not in state:
                visit(v, stack)
        stack.pop()
        state[u] = 2

    for u in sorted(units):
        if u not in state:
            visit(u, [])
    return found


def drawing(graph):
    edges = {}
    for f, deps in graph.items():
        edges.setdefault(folder_of(f), set())
        for d in deps:
            if folder_of(d) != folder_of(f):
                edges[folder_of(f)].add(folder_of(d))
    return edges


def readme_drawing():
    text = (ROOT / "README.md").read_text()
    section = text.split("## Architecture", 1)[1]
    block = section.split("```", 2)[1]
    edges = {}
    for line in block.strip().splitlines():
        left, right = (s.strip() for s in line.split("->"))
        targets = set() if right.startswith("(") else {t.strip() for t in right.split(",")}
        for name in (n.strip() for n in left.split(",")):
            edges[name] = targets
    return edges


def main():
    files = product_files()
    graph = file_graph(files)
    problems = []
    sizes = {}
    for f in files:
        sizes[f.rsplit("/", 1)[0]] = sizes.get(f.rsplit("/", 1)[0], 0) + 1
    for folder, count in sorted(sizes.items()):
        if count > LARGER_FOLDERS.get(folder, MOST_FILES):
            problems.append(f"{folder}/ holds {count} source files, more than {LARGER_FOLDERS.get(folder, MOST_FILES)}")
    for loop in loops(graph):
        problems.append("files in a loop: " + " -> ".join(loop))
    edges = drawing(graph)
    for source, targets in sorted(edges.items()):
        if not source.startswith("programs/"):
            for t in sorted(targets):
                if t.startswith("programs/"):
                    problems.append(f"{source} includes a program's header from {t}")
    for source, targets in sorted(edges.items()):
        print(f"{source:18} -> {', '.join(sorted(targets)) or '(nothing of ours)'}")
    drawn = readme_drawing()
    if drawn != edges:
        for name in sorted(set(drawn) | set(edges)):
            if drawn.get(name) != edges.get(name):
                problems.append(f"README draws {name} -> {sorted(drawn.get(name, []))}, "
                                f"the includes say {sorted(edges.get(name, []))}")
    for p in problems:
        print("check-architecture: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
