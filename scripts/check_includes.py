#!/usr/bin/env python3
"""Fails when a source file includes a project header outside the layering.

Rooms, lowest first: util, store, settings, then the features scan, browse
and search side by side, then app, then cli. A room may include its own
folder and the rooms below it; the features never include each other. Qt
code lives in a gui/ folder: only gui code includes gui headers, and a
feature's gui/ includes its own gui/ and the shared util/gui/, never the main
window's app/gui/ or another feature's gui/; the main window includes the
pages it wires.

Usage: check_includes.py SOURCE_FOLDER
"""
import pathlib
import re
import sys

BELOW = {
    "util": set(),
    "store": {"util"},
    "settings": {"util", "store"},
    "scan": {"util", "store", "settings"},
    "browse": {"util", "store", "settings"},
    "search": {"util", "store", "settings"},
    "app": {"util", "store", "settings", "scan", "browse", "search"},
    "cli": {"util", "store", "settings", "scan", "browse", "search", "app"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def place(relative):
    """The room of a path below the source folder and whether it is gui code."""
    parts = pathlib.PurePosixPath(relative).parts
    return parts[0], "gui" in parts[1:-1]


def problem(source, target):
    room, gui = place(source)
    to_room, to_gui = place(target)
    if to_room not in BELOW:
        return None  # not a project header
    if to_room != room and to_room not in BELOW.get(room, set()):
        return f"{room} may not include {to_room}"
    if to_gui and not gui:
        return "only gui code includes gui headers"
    if to_gui and room != "app" and to_room not in (room, "util"):
        return "a feature's gui includes its own gui and util/gui only"
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    failures = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        source = path.relative_to(root).as_posix()
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            why = problem(source, match.group(1))
            if why:
                failures.append(f"{source}:{number}: {match.group(1)}: {why}")
    for failure in failures:
        print(failure)
    print(f"{len(failures)} include(s) outside the layering")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
