#!/usr/bin/env python3
"""check_rooms.py -- every #include "..." of the project's code goes one way only.

Reads the table of rooms (tools/rooms.txt: each room folder and the rooms it may include) and fails
when the table makes a circle, when a source file lies in no room, when a quoted include names no file
or more than one, when a room's code includes a file of a room it may not use, or when headers
include each other in a circle. Test code may also use the test support (sim/testing) and what it
reaches. With --objects (a room and its object files), it also fails when a room's objects call a
function or use a variable that another room defines and the first may not use: a call back into a
room above, which no include shows. Prints one line per fault; exit status 1 when there is any.

usage: check_rooms.py [--root DIR] [--table FILE] [--objects ROOM=FILE,FILE...]...
"""
import argparse
import os
import re
import subprocess
import sys

SOURCE_EXT = (".h", ".hpp", ".cpp", ".cc")
TEST_SUPPORT = "sim/testing"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(path):
    """{room: [rooms it may include directly]} in the table's order."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if ":" not in line:
                raise SystemExit(f"{path}:{n}: expected '<rooms>: <rooms they may include>'")
            rooms, uses = line.split(":", 1)
            for room in rooms.split():
                if room in table:
                    raise SystemExit(f"{path}:{n}: room {room} listed twice")
                table[room] = uses.split()
    for room, uses in table.items():
        for u in uses:
            if u not in table:
                raise SystemExit(f"{path}: room {room} may include {u}, which is not a room of the table")
    return table


def find_cycle(graph):
    """A list of nodes making a circle in {node: [successors]}, or None."""
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in graph.get(n, ()):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if m not in state:
                c = visit(m)
                if c:
                    return c
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            c = visit(n)
            if c:
                return c
    return None


def closure(table, room):
    seen, todo = set(), [room]
    while todo:
        r = todo.pop()
        if r in seen:
            continue
        seen.add(r)
        todo.extend(table[r])
    return seen


def is_test_code(rel):
    name = os.path.basename(rel)
    stem = os.path.splitext(name)[0]
    return (stem.endswith("_test") or stem.endswith("_test_support") or "/testing/" in "/" + rel
            or rel.startswith(TEST_SUPPORT + "/"))


def symbols(obj, *flags):
    out = subprocess.run(["nm", "--format=posix", *flags, obj], check=True, capture_output=True, text=True).stdout
    return [line.split()[:2] for line in out.splitlines() if line.strip()]


def check_objects(specs, table, allowed):
    """Faults where a room's objects use a symbol that a room it may not use defines."""
    faults = []
    objects = {}
    for spec in specs:
        room, _, files = spec.partition("=")
        if room not in table:
            faults.append(f"--objects {room}: not a room of the table")
            continue
        objects[room] = [f for f in files.split(",") if f]
    owner = {}  # a strong definition's symbol -> its room
    for room, files in objects.items():
        for obj in files:
            for name, kind in symbols(obj, "--defined-only"):
                if kind in "TDBR":  # strong: code, data, read-only data (weak and inline ones are everyone's)
                    owner[name] = room
    for room, files in sorted(objects.items()):
        for obj in files:
            for name, kind in symbols(obj, "--undefined-only"):
                other = owner.get(name)
                if other and other != room and other not in allowed[room]:
                    demangled = subprocess.run(["c++filt", name], capture_output=True, text=True).stdout.strip()
                    faults.append(f"{os.path.basename(obj)}: {room} uses {demangled or name}, defined in {other}, "
                                  f"which it may not use")
    return faults


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--root", default=os.path.dirname(here))
    ap.add_argument("--table", default=os.path.join(here, "rooms.txt"))
    ap.add_argument("--objects", action="append", default=[], metavar="ROOM=FILE,FILE...")
    args = ap.parse_args()
    root = os.path.abspath(args.root)
    table = read_table(args.table)
    faults = []

    cycle = find_cycle(table)
    if cycle:
        faults.append("the table of rooms makes a circle: " + " -> ".join(cycle))
    for room in table:
        if not os.path.isdir(os.path.join(root, room)):
            faults.append(f"room {room}: no such folder")

    def room_of(rel):
        best = None
        for room in table:
            if rel.startswith(room + "/") and (best is None or len(room) > len(best)):
                best = room
        return best

    # Every source file of the rooms' folders and of sim/ (the stand-in lives in rooms only).
    files = {}
    for top in sorted({r.split("/")[0] for r in table}):
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames[:] = sorted(d for d in dirnames if not d.startswith("."))
            for fn in sorted(filenames):
                if fn.endswith(SOURCE_EXT):
                    rel = os.path.relpath(os.path.join(dirpath, fn), root).replace(os.sep, "/")
                    room = room_of(rel)
                    if room is None:
                        faults.append(f"{rel}: lies in no room of {os.path.relpath(args.table, root)}")
                    else:
                        files[rel] = room

    # Quoted includes resolve against the including file's folder first, then the rooms' folders
    # (each room's folder is on the include path) and sim/ (for "testing/...").
    roots = sorted(table) + ["sim"]
    allowed = {room: closure(table, room) for room in table}
    test_allowed = closure(table, TEST_SUPPORT) if TEST_SUPPORT in table else set()
    header_graph = {}
    for rel, room in sorted(files.items()):
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            lines = f.readlines()
        for n, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            name = m.group(1)
            local = os.path.normpath(os.path.join(os.path.dirname(rel), name)).replace(os.sep, "/")
            if local in files:
                target = local
            else:
                hits = sorted({os.path.normpath(os.path.join(r, name)).replace(os.sep, "/") for r in roots} & set(files))
                if not hits:
                    faults.append(f"{rel}:{n}: #include \"{name}\" names no file of the rooms")
                    continue
                if len(hits) > 1:
                    faults.append(f"{rel}:{n}: #include \"{name}\" is ambiguous: {', '.join(hits)}")
                    continue
                target = hits[0]
            troom = files[target]
            ok = troom in allowed[room] or (is_test_code(rel) and troom in test_allowed)
            if ok and is_test_code(target) and not is_test_code(rel):
                faults.append(f"{rel}:{n}: #include \"{name}\": library code includes test code ({target})")
            elif not ok:
                faults.append(f"{rel}:{n}: #include \"{name}\" goes the wrong way: {room} may not use {troom}")
            if rel.endswith((".h", ".hpp")):
                header_graph.setdefault(rel, []).append(target)

    cycle = find_cycle(header_graph)
    if cycle:
        faults.append("headers include each other in a circle: " + " -> ".join(cycle))
    faults.extend(check_objects(args.objects, table, allowed))

    for f in faults:
        print(f)
    if faults:
        print(f"check_rooms: {len(faults)} fault(s)", file=sys.stderr)
        return 1
    print(f"check_rooms: {len(files)} files in {len(table)} rooms, every include goes one way"
          + (f"; the objects of {len(args.objects)} rooms call only below them" if args.objects else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
