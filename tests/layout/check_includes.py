#!/usr/bin/env python3
"""Holds the code to the README's Layout section.

Every quoted include of the two programs names its folder from the program's
source root (client/ or server/; protocol/ from the top), every arrow from one
folder to another that an include draws is one the README lists, and every
arrow the README lists is drawn by some include, so that the README neither
misses nor invents one. The README's arrows form no cycle, and no folder of
sources holds more than 16 files.

    check_includes.py TOP            checks, exit status 1 on any finding
    check_includes.py TOP --print    prints the arrows the code draws
"""
import os
import re
import sys

PROGRAMS = ("client", "server", "protocol")
MAX_FILES = 16
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
ARROW = re.compile(r"^\s*(\S+)\s+->\s+(.+)$")


def source_files(top):
    for program in PROGRAMS:
        for folder, _, names in os.walk(os.path.join(top, program)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(folder, name), top)


def resolve(top, path, include):
    """The file an include names, from the includer's program root; None if none."""
    root = path.split("/")[0]
    for base in ([] if root == "protocol" else [root]) + [""]:
        candidate = os.path.normpath(os.path.join(base, include))
        if os.path.isfile(os.path.join(top, candidate)):
            return candidate
    return None


def code_arrows(top, findings):
    files = sorted(source_files(top))
    names = {os.path.basename(path) for path in files}
    arrows = {}
    for path in files:
        text = open(os.path.join(top, path), encoding="utf-8").read()
        for include in INCLUDE.findall(text):
            target = resolve(top, path, include)
            if target is None:
                if os.path.basename(include) in names:
                    findings.append(f'{path}: "{include}" does not name its folder from the source root')
                continue  # made by the build: moc files, the version header
            if include != spelled(target):
                findings.append(f'{path}: "{include}" should be "{spelled(target)}"')
            here, there = os.path.dirname(path), os.path.dirname(target)
            if here != there:
                arrows.setdefault((here, there), path)
    return arrows


def spelled(target):
    top = target.split("/")[0]
    return target if top == "protocol" else target[len(top) + 1:]


def readme_arrows(top, findings):
    text = open(os.path.join(top, "README.md"), encoding="utf-8").read()
    layout = text.split("\n## Layout", 1)[-1].split("\n## ", 1)[0]
    block = re.search(r"```text\n(.*?)```", layout, re.S)
    if not block:
        findings.append("README.md: the Layout section has no ```text block of arrows")
        return set()
    arrows = set()
    for line in block.group(1).splitlines():
        match = ARROW.match(line)
        if match:
            for there in match.group(2).split(","):
                arrows.add((match.group(1).rstrip("/"), there.strip().rstrip("/")))
    return arrows


def cycle(arrows):
    graph = {}
    for here, there in arrows:
        graph.setdefault(here, []).append(there)
    state = {}

    def visit(node, trail):
        state[node] = 1
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                return trail + [node, nxt]
            if not state.get(nxt):
                found = visit(nxt, trail + [node])
                if found:
                    return found
        state[node] = 2
        return None

    for node in list(graph):
        if not state.get(node):
            found = visit(node, [])
            if found:
                return found
    return None


def folder_sizes(top, findings):
    counts = {}
    for path in source_files(top):
        counts[os.path.dirname(path)] = counts.get(os.path.dirname(path), 0) + 1
    for folder, count in sorted(counts.items()):
        if count > MAX_FILES:
            findings.append(f"{folder}: {count} source files, more than {MAX_FILES}")


def main():
    top = sys.argv[1]
    findings = []
    drawn = code_arrows(top, findings)
    if "--print" in sys.argv:
        by_source = {}
        for here, there in sorted(drawn):
            by_source.setdefault(here, []).append(there)
        for here, theres in sorted(by_source.items()):
            print(f"{here} -> {', '.join(theres)}")
        return 0
    listed = readme_arrows(top, findings)
    for (here, there), path in sorted(drawn.items()):
        if (here, there) not in listed:
            findings.append(f"{path}: includes {there}/, but the README lists no {here} -> {there}")
    for here, there in sorted(listed - set(drawn)):
        findings.append(f"README.md: {here} -> {there} is listed, but no include draws it")
    loop = cycle(listed)
    if loop:
        findings.append("README.md: the arrows run in a circle: " + " -> ".join(loop))
    folder_sizes(top, findings)
    for finding in findings:
        print(finding)
    print(f"{len(drawn)} arrows between folders, {len(findings)} findings")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
