#!/usr/bin/env python3
"""Checks that the libraries form layers.

1. The target graph `cmake --graphviz` writes for the build folder has no cycle.
2. Every #include "..." of a project file stays inside the includer's own target or names a file
   of a target that target links (directly or through others). An include the target graph does
   not show (as the old b6409_frame include-only target hid link/ -> protocol/) is reported, and
   the graph of includes between targets is checked for cycles of its own.

Which target a .cpp belongs to comes from compile_commands.json; a header belongs to the target
of the .cpp of the same name beside it, else to the target of the other .cpp files in its folder
(the lowest one when the folder holds several). Headers in folders without sources (tests/support)
belong to no target and are not checked.

Usage: scripts/check-layering.py [BUILD_DIR]    (default build/; it must have been configured)
Exit status 0 when both checks pass, 1 otherwise.
"""

import json
import os
import re
import subprocess
import sys
import tempfile
from collections import defaultdict

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def target_graph(build_dir):
    """Target names and their direct dependencies, from cmake --graphviz, and the executables.
    A test program's edge to itself (gtest_discover_tests runs it after the build) is no
    dependency and is left out."""
    with tempfile.TemporaryDirectory() as scratch:
        dot = os.path.join(scratch, "targets.dot")
        subprocess.run(["cmake", f"--graphviz={dot}", build_dir], check=True,
                       stdout=subprocess.DEVNULL)
        text = open(dot).read()
    nodes = re.findall(r'"(node\d+)" \[ label = "([^"]+)", shape = (\w+)', text)
    names = {node: name for node, name, _ in nodes}
    executables = {name for _, name, shape in nodes if shape == "egg"}
    edges = defaultdict(set)
    for source, target in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
        if source != target:
            edges[names[source]].add(names[target])
    for name in names.values():
        edges.setdefault(name, set())
    return edges, executables


def cycles(edges):
    """Strongly connected components with more than one target."""
    index, low, on_stack, stack, found, counter = {}, {}, set(), [], [], [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in edges[node]:
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in list(edges):
        if node not in index:
            visit(node)
    return found


def closure(edges):
    reach = {}

    def walk(node):
        if node not in reach:
            reach[node] = set()
            for nxt in edges[node]:
                reach[node] |= {nxt} | walk(nxt)
        return reach[node]

    for node in edges:
        walk(node)
    return reach


def in_project(path, build_dirs):
    return path.startswith(ROOT + os.sep) and not any(
        path.startswith(b + os.sep) for b in build_dirs)


def owners(build_dir, reach):
    """Target of each project file, and the include folders of each target's sources."""
    build_dirs = {os.path.join(ROOT, d) for d in os.listdir(ROOT)
                  if os.path.exists(os.path.join(ROOT, d, "CMakeCache.txt"))}
    build_dirs.add(os.path.abspath(build_dir))
    owner, include_dirs = {}, defaultdict(list)
    for entry in json.load(open(os.path.join(build_dir, "compile_commands.json"))):
        source = os.path.abspath(os.path.join(entry["directory"], entry["file"]))
        command = entry.get("command") or " ".join(entry.get("arguments", []))
        target = re.search(r"CMakeFiles/([^/ ]+)\.dir/", command)
        if not target or not in_project(source, build_dirs):
            continue
        target = target.group(1)
        owner[source] = target
        for flag in re.findall(r"(?:^|\s)-(?:I|isystem\s)\s*(\S+)", command):
            path = os.path.abspath(os.path.join(entry["directory"], flag))
            if path not in include_dirs[target]:
                include_dirs[target].append(path)

    by_folder = defaultdict(set)
    for source, target in owner.items():
        by_folder[os.path.dirname(source)].add(target)
    for folder, targets in by_folder.items():
        # The lowest target of the folder: the one every other target there links.
        lowest = [t for t in targets if all(t == o or t in reach.get(o, ()) for o in targets)]
        for name in os.listdir(folder):
            if not name.endswith((".h", ".hpp")):
                continue
            header = os.path.join(folder, name)
            twin = os.path.splitext(header)[0] + ".cpp"
            if twin in owner:
                owner[header] = owner[twin]
            elif lowest:
                owner[header] = lowest[0]
    return owner, include_dirs


def main():
    build_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    edges, executables = target_graph(build_dir)
    reach = closure(edges)
    owner, include_dirs = owners(build_dir, reach)

    ok = True
    found = cycles(edges)
    project_targets = sorted(set(owner.values()))
    print(f"target graph: {len(edges)} targets, {sum(map(len, edges.values()))} edges, "
          f"{len(found)} cycles")
    for component in found:
        ok = False
        print("  CYCLE:", " <-> ".join(component))

    violations, crossings = [], defaultdict(set)
    for path, target in sorted(owner.items()):
        folder = os.path.dirname(path)
        for name in INCLUDE.findall(open(path, errors="replace").read()):
            for base in [folder] + include_dirs[target]:
                included = os.path.normpath(os.path.join(base, name))
                if os.path.isfile(included):
                    break
            else:
                continue
            other = owner.get(included)
            # Headers of test programs (shared test helpers) are no layer.
            if other is None or other == target or other in executables:
                continue
            crossings[target].add(other)
            if other not in reach[target]:
                violations.append(f"{os.path.relpath(path, ROOT)} ({target}) includes "
                                  f"{name} ({other}), a target {target} does not link")
    print(f"includes: {len(owner)} files of {len(project_targets)} targets checked, "
          f"{len(violations)} outside the target graph")
    for line in violations:
        ok = False
        print("  " + line)

    include_graph = defaultdict(set, crossings)
    for target in list(include_graph):
        for other in list(include_graph[target]):
            include_graph.setdefault(other, set())
    include_cycles = cycles(include_graph)
    print(f"include graph between targets: {len(include_cycles)} cycles")
    for component in include_cycles:
        ok = False
        print("  CYCLE:", " <-> ".join(component))

    layers = ["b6409_common", "b6409_link_core", "b6409_link_serial", "b6409_link_socketcan",
              "b6409_link", "b6409_protocol", "b6409_idtable"]
    print("what the lower layers include (targets whose files they include):")
    for target in layers:
        if target in edges:
            print(f"  {target:22} -> {', '.join(sorted(crossings[target])) or '-'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
