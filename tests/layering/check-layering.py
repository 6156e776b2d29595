#!/usr/bin/env python3
"""The dependency rule the README draws, checked against the tree.

Every folder of C or C++ sources has a row in the README's table (between
<!-- layering --> and <!-- /layering -->); each #include of a folder's files,
in whatever form it is written (quotes or angle brackets, "../", spaces after
the '#', inside #if, .h or .hpp), names a file of the same folder, of a folder
its row names, or a file its row names; and the CMake link graph of the
project's targets has no cycle.

usage: check-layering.py ROOT [CMAKE]   (CMAKE: the cmake program; without
it the link graph is not looked at)
"""
import os, re, subprocess, sys, tempfile

SOURCES = (".c", ".cc", ".cpp", ".h", ".hpp")
SKIP = {".git", "shared"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def table(root):
    text = open(os.path.join(root, "README.md"), encoding="utf-8").read()
    found = re.search(r"<!-- layering -->(.*)<!-- /layering -->", text, re.S)
    if not found:
        sys.exit("README.md has no layering table")
    rows = {}
    for line in found.group(1).splitlines():
        cells = re.match(r"\|\s*`([a-z0-9_-]+)/`\s*\|([^|]*)\|", line)
        if cells:
            rows[cells.group(1)] = [a.strip("`") for a in re.findall(r"`[^`]+`", cells.group(2))]
    if not rows:
        sys.exit("the layering table has no rows")
    return rows


def source_folders(root):
    folders = set()
    for top in os.listdir(root):
        path = os.path.join(root, top)
        if top in SKIP or top.startswith("build") or not os.path.isdir(path):
            continue
        for d, dirs, files in os.walk(path):
            dirs[:] = [x for x in dirs if not x.startswith("build")]
            if any(f.endswith(SOURCES) for f in files):
                folders.add(top)
                break
    return folders


def resolve(root, source, quoted, name):
    """The included file as a path from ROOT, or None for one not ours."""
    here = os.path.dirname(source)
    candidates = ([os.path.join(here, name)] if quoted else []) + \
        [os.path.join(root, name), os.path.join(root, "tests", name)]
    for candidate in candidates:
        if os.path.isfile(candidate):
            return os.path.relpath(os.path.realpath(candidate), os.path.realpath(root))
    if quoted and "/" not in name:
        return os.path.relpath(os.path.join(here, name), root)  # generated beside it (ui_*.h, *.moc)
    first = os.path.normpath(name).split(os.sep)[0]
    if first in ("..", "."):
        return os.path.relpath(os.path.normpath(os.path.join(here, name)), root)
    return None


def includes(root, folder, rows):
    broken = []
    allowed = rows[folder]
    for d, dirs, files in os.walk(os.path.join(root, folder)):
        dirs[:] = [x for x in dirs if not x.startswith("build")]
        for f in sorted(files):
            if not f.endswith(SOURCES):
                continue
            source = os.path.join(d, f)
            for number, line in enumerate(open(source, encoding="utf-8", errors="replace"), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(root, source, m.group(1) == '"', m.group(2))
                if target is None:
                    continue
                top = target.split(os.sep)[0]
                if top == folder or top not in rows and top not in source_folders(root):
                    continue
                if any(target == a or (a.endswith("/") and target.startswith(a)) for a in allowed):
                    continue
                broken.append(f"{os.path.relpath(source, root)}:{number} includes {target}, which {folder}/ may not")
    return broken


def link_cycles(root, cmake):
    with tempfile.TemporaryDirectory() as build:
        dot = os.path.join(build, "graph", "links.dot")
        configure = subprocess.run([cmake, "-S", root, "-B", build, "--graphviz=" + dot],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if configure.returncode != 0:
            sys.exit("cmake could not configure the project:\n" + configure.stdout[-3000:])
        text = open(dot, encoding="utf-8").read()
    names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
    edges = {}
    for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
        edges.setdefault(names[a], set()).add(names[b])
    cycles, state = [], {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                cycles.append(" -> ".join(path[path.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, path + [nxt])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [node])
    return cycles, len(edges)


def main():
    root = os.path.abspath(sys.argv[1])
    rows = table(root)
    problems = [f"{f}/ holds sources but has no row in the layering table" for f in sorted(source_folders(root) - set(rows))]
    for folder in sorted(rows):
        if os.path.isdir(os.path.join(root, folder)):
            problems += includes(root, folder, rows)
    if len(sys.argv) > 2:
        cycles, targets = link_cycles(root, sys.argv[2])
        problems += [f"the targets link in a cycle: {c}" for c in cycles]
        if not cycles:
            print(f"the link graph of {targets} targets has no cycle")
    for p in problems:
        print(p)
    if problems:
        sys.exit(f"{len(problems)} breaks of the layering")
    print(f"the includes of {len(rows)} folders follow the layering")


main()
