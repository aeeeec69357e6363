#!/usr/bin/env python3
"""Zips an installed release tree the same way every time.

make_zip.py [--source DIR] TREE OUT_DIR
  writes TREE/SHA256SUMS (every file of the tree), OUT_DIR/NAME.zip (NAME is
  TREE's base name; entries sorted, one fixed time and mode each) and
  OUT_DIR/SHA256SUMS (the zip). The time is SOURCE_DATE_EPOCH, else the
  source's last commit, else 1980-01-01.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile


def source_epoch(source):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    if source:
        try:
            out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True,
                                 text=True, check=True).stdout.strip()
            return int(out)
        except (OSError, subprocess.CalledProcessError, ValueError):
            pass
    return 315532800


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source")
    parser.add_argument("tree")
    parser.add_argument("out")
    args = parser.parse_args()
    tree = os.path.abspath(args.tree)
    name = os.path.basename(tree)
    files = sorted(os.path.relpath(os.path.join(d, f), tree).replace(os.sep, "/")
                   for d, _, names in os.walk(tree) for f in names if f != "SHA256SUMS")
    with open(os.path.join(tree, "SHA256SUMS"), "w", newline="\n") as sums:
        for f in files:
            sums.write(f"{sha256(os.path.join(tree, f))}  {f}\n")
    files = sorted(files + ["SHA256SUMS"])
    # A zip holds local times from 1980 on, to two seconds.
    stamp = time.gmtime(max(source_epoch(args.source), 315532800))[:6]
    os.makedirs(args.out, exist_ok=True)
    archive = os.path.join(args.out, name + ".zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for f in files:
            entry = zipfile.ZipInfo(f"{name}/{f}", stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3
            executable = f.endswith((".exe", ".dll", ".sh"))
            entry.external_attr = (0o100755 if executable else 0o100644) << 16
            with open(os.path.join(tree, f), "rb") as data:
                z.writestr(entry, data.read(), compresslevel=9)
    with open(os.path.join(args.out, "SHA256SUMS"), "w", newline="\n") as sums:
        sums.write(f"{sha256(archive)}  {name}.zip\n")
    print(f"{archive}: {len(files)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
