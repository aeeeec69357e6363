#!/usr/bin/env python3
"""expect_exit.py STATUS COMMAND...: passes when COMMAND exits with STATUS."""
import subprocess, sys

want, cmd = int(sys.argv[1]), sys.argv[2:]
p = subprocess.run(cmd, capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
if p.returncode != want:
    print(f"FAIL: exit status {p.returncode}, expected {want}; stderr: {p.stderr.strip()[:200]}")
    sys.exit(1)
print(p.stdout, end="")
