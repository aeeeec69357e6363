#!/usr/bin/env python3
"""Checks a built DLL's export and import tables, read with objdump -p.

The exports must be exactly the names of the module definition file. With
--header, every export must also be one of the stdcall functions that the
public header declares, mapped in the definition file to the symbol whose
@N is 4 bytes per argument; the firmware export only under its decorated
name. The imports must be Windows system DLLs and the DLLs named with
--also-allow: no C++ runtime, libgcc or winpthread DLL may ride along.
"""
import argparse
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "version.dll"}
DECORATED_ONLY = {"UpdateDriveFWImage": "_UpdateDriveFWImage@24"}
HEADER_EXPORT_COUNT = 19


def read_def(path):
    """The (exported name, internal symbol) pairs of a .def file's EXPORTS."""
    entries = []
    in_exports = False
    for raw in open(path, encoding="utf-8"):
        line = raw.split(";", 1)[0].strip()
        if not line:
            continue
        if line.upper() == "EXPORTS":
            in_exports = True
            continue
        if not in_exports or line.split()[0].upper() in ("LIBRARY", "NAME"):
            continue
        name, _, target = (part.strip() for part in line.partition("="))
        entries.append((name, target or name))
    return entries


def read_header(path):
    """Function name -> argument count of the header's LUMBREL_CALL declarations."""
    text = open(path, encoding="utf-8").read()
    functions = {}
    for match in re.finditer(r"^\s*(?:uint32_t|void)\s+LUMBREL_CALL\s+(\w+)\s*\(([^;]*?)\)\s*;", text, re.M | re.S):
        args = match.group(2).strip()
        functions[match.group(1)] = 0 if args in ("", "void") else args.count(",") + 1
    return functions


def read_tables(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    imports = [m.group(1) for m in re.finditer(r"^\s*DLL Name:\s*(\S+)", out, re.M)]
    exports = []
    table = out.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            m = re.match(r"^\s*\[\s*\d+\]\s+(\S+)", line)
            if not m:
                break
            exports.append(m.group(1))
    return exports, imports


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--def", dest="def_file", required=True)
    parser.add_argument("--header")
    parser.add_argument("--also-allow", action="append", default=[])
    options = parser.parse_args()

    problems = []
    entries = read_def(options.def_file)
    expected = {name for name, _ in entries}
    exports, imports = read_tables(options.objdump, options.dll)

    missing = sorted(expected - set(exports))
    extra = sorted(set(exports) - expected)
    if missing:
        problems.append("not exported although listed in the .def: " + ", ".join(missing))
    if extra:
        problems.append("exported but not listed in the .def: " + ", ".join(extra))

    if options.header:
        functions = read_header(options.header)
        if len(functions) != HEADER_EXPORT_COUNT:
            problems.append(f"the header declares {len(functions)} exports, not {HEADER_EXPORT_COUNT}")
        for name, target in entries:
            function = re.sub(r"^_(\w+)@\d+$", r"\1", name)
            if function not in functions:
                problems.append(f"{name}: no such export in the header")
                continue
            wanted_name = DECORATED_ONLY.get(function, function)
            if name != wanted_name:
                problems.append(f"{name}: must be exported as {wanted_name}")
            wanted_target = f"{function}@{4 * functions[function]}"
            if target != wanted_target:
                problems.append(f"{name}: maps to {target}, but its {functions[function]} arguments make it {wanted_target}")
        for plain in DECORATED_ONLY:
            if plain in exports:
                problems.append(f"{plain} is exported under its plain name")

    allowed = SYSTEM_DLLS | {name.lower() for name in options.also_allow}
    for dll in imports:
        if dll.lower() not in allowed:
            problems.append(f"imports {dll}, which is not a Windows system DLL")

    print(f"{options.dll}: {len(exports)} exports, imports {', '.join(imports)}")
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
