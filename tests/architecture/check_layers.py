#!/usr/bin/env python3
"""Checks that the library's folders depend on each other in one direction.

    platform <- discovery <- scsi <- drives, raid, panel <- reports <- api

A file may include headers of its own folder and of the folders below it;
folders on the same level do not include each other. Headers at the top of
the source tree (result codes) and the public header may be included
anywhere; the simulator's headers nowhere. Only src/api reaches the
process-wide state through Module().

The simulator describes every wire format from the device's side: of the
library's headers it includes only the platform's (Win32 types, byte order),
never one that lays out a block the library reads or writes, so that a
wrong offset there cannot be mirrored by the device.

Usage: check_layers.py [--simulator] ROOT   (exit 0 when clean, 1 with a list)
"""
import pathlib
import re
import sys

LEVELS = {"platform": 0, "discovery": 1, "scsi": 2, "drives": 3, "raid": 3, "panel": 3, "reports": 4, "api": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
MODULE_CALL = re.compile(r"\bModule\(\)")
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/", re.DOTALL)


def folder_of(relative: pathlib.PurePath):
    return relative.parts[0] if len(relative.parts) > 1 else None


def check(root: pathlib.Path):
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        relative = path.relative_to(root)
        own = folder_of(relative)
        text = path.read_text(encoding="utf-8", errors="replace")
        for included in INCLUDE.findall(text):
            target = pathlib.PurePath(included)
            other = folder_of(target)
            if other == "sim":
                problems.append(f"{relative}: includes the simulator header {included}")
                continue
            if other is None or other == own or other not in LEVELS:
                continue  # leaf headers, the public header, its own folder
            if own not in LEVELS:
                problems.append(f"{relative}: lies in no known folder")
                break
            if LEVELS[other] >= LEVELS[own]:
                problems.append(f"{relative}: {own} may not include {included} ({other} is not below it)")
        if own != "api" and MODULE_CALL.search(COMMENT.sub("", text)):
            problems.append(f"{relative}: calls Module() outside src/api")
    return problems


def check_simulator(root: pathlib.Path):
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".c"):
            continue
        for included in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            folder = folder_of(pathlib.PurePath(included))
            if folder in LEVELS and folder != "platform":
                problems.append(f"{path.relative_to(root)}: the simulator includes the library's {included}")
    return problems


def main():
    arguments = sys.argv[1:]
    simulator = arguments[:1] == ["--simulator"]
    if simulator:
        arguments = arguments[1:]
    if len(arguments) != 1:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = pathlib.Path(arguments[0])
    problems = check_simulator(root) if simulator else check(root)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
