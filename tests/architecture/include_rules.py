#!/usr/bin/env python3
"""Holds the house's rules on includes: no cycle between units (a header and its source count as one
unit) and no folder using one above it. Prints every breach and exits 1 when there is one."""
import os
import re
import sys
from collections import defaultdict

# Which folders a folder's files may include from, besides its own. A folder not listed here may use
# only itself. tests/, bench/ and tools/ are outside the house and may use anything.
ALLOWED = {
    "serial": set(),
    "modbus": set(),
    "widgets": set(),
    "history": {"modbus"},
    "watch": {"modbus", "history"},
    "fleet": {"modbus", "serial", "history"},
    "views/common": {"modbus", "history", "watch", "fleet", "serial", "widgets"},
    "views/*": {"modbus", "history", "watch", "fleet", "serial", "widgets", "views/common"},
    "app": {"modbus", "history", "watch", "fleet", "serial", "widgets", "views/common", "views/*"},
}
SOURCE = re.compile(r"\.(h|hpp|cpp|cc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    parts = path.split("/")
    if parts[0] == "views" and len(parts) > 2:
        return "views/" + parts[1]
    return parts[0]


def rule_for(folder):
    if folder in ALLOWED:
        return ALLOWED[folder]
    if folder.startswith("views/"):
        return ALLOWED["views/*"]
    return set()


def allowed(src, dst):
    if src == dst:
        return True
    rules = rule_for(src)
    return dst in rules or (dst.startswith("views/") and dst != "views/common" and "views/*" in rules)


def main(root):
    files = {}
    for top in ("serial", "modbus", "widgets", "history", "watch", "fleet", "views", "app"):
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if SOURCE.search(name):
                    rel = os.path.relpath(os.path.join(dirpath, name), root)
                    files[rel] = open(os.path.join(root, rel), encoding="utf-8").read()
    by_name = defaultdict(list)
    for rel in files:
        by_name[os.path.basename(rel)].append(rel)

    problems = []
    unit_edges = defaultdict(set)
    for rel, text in files.items():
        unit = os.path.splitext(rel)[0]
        for inc in INCLUDE.findall(text):
            targets = by_name.get(os.path.basename(inc), [])
            if not targets:
                continue  # generated or system header
            if len(targets) > 1:
                problems.append(f"{rel}: '{inc}' names {len(targets)} files: {', '.join(sorted(targets))}")
                continue
            target = targets[0]
            if not allowed(folder_of(rel), folder_of(target)):
                problems.append(f"{rel} includes {target}: {folder_of(rel)}/ may not use {folder_of(target)}/")
            tunit = os.path.splitext(target)[0]
            if tunit != unit:
                unit_edges[unit].add(tunit)

    # Cycles between units, by a depth-first search that reports each back edge's loop once.
    state, stack, seen_cycles = {}, [], set()

    def visit(u):
        state[u] = 1
        stack.append(u)
        for v in sorted(unit_edges[u]):
            if state.get(v) == 1:
                loop = stack[stack.index(v):]
                key = frozenset(loop)
                if key not in seen_cycles:
                    seen_cycles.add(key)
                    problems.append("include cycle: " + " -> ".join(loop + [v]))
            elif v not in state:
                visit(v)
        stack.pop()
        state[u] = 2

    for u in sorted(unit_edges):
        if u not in state:
            visit(u)

    for p in problems:
        print(p)
    print(f"{len(files)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../..")))
