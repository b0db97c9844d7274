#!/usr/bin/env python3
"""Runs the rig generator in Blender into a temporary folder and compares the truth files
it writes with the committed ones, value by value: the committed rigs must be what the
committed generator makes. Exported files are not compared (exporters stamp dates and ids).

Usage: regenerate_truth.py DCCDIR   (the folder holding generate_rigs.py and rigs/)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

TOLERANCE = 1e-6


def differences(a, b, where=""):
    if isinstance(a, dict) and isinstance(b, dict):
        if set(a) != set(b):
            yield "%s: keys %s against %s" % (where, sorted(set(a) ^ set(b)), "committed")
        for key in set(a) & set(b):
            yield from differences(a[key], b[key], where + "/" + str(key))
    elif isinstance(a, list) and isinstance(b, list):
        if len(a) != len(b):
            yield "%s: %d items, committed %d" % (where, len(a), len(b))
        for i, (x, y) in enumerate(zip(a, b)):
            yield from differences(x, y, "%s[%d]" % (where, i))
    elif isinstance(a, float) or isinstance(b, float):
        if not isinstance(a, (int, float)) or not isinstance(b, (int, float)) or \
                abs(a - b) > TOLERANCE * max(1.0, abs(b)):
            yield "%s: %r, committed %r" % (where, a, b)
    elif a != b and where.split("/")[-1] != "blender":
        yield "%s: %r, committed %r" % (where, a, b)


def main():
    dcc = sys.argv[1]
    blender = shutil.which("blender")
    if not blender:
        print("blender is not installed (scripts/install-deps.sh installs it)")
        return 1
    committed = os.path.join(dcc, "rigs")
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run([blender, "--background", "--factory-startup", "--python",
                              os.path.join(dcc, "generate_rigs.py"), "--", out],
                             capture_output=True, text=True, errors="replace")
        if run.returncode != 0:
            print(run.stdout[-4000:], run.stderr[-4000:])
            print("the generator failed with exit status %d" % run.returncode)
            return 1
        made = sorted(f for f in os.listdir(out) if f.endswith(".truth.json"))
        kept = sorted(f for f in os.listdir(committed) if f.endswith(".truth.json"))
        faults = []
        if made != kept:
            faults.append("the generator makes %s, committed are %s" % (made, kept))
        for name in sorted(set(made) & set(kept)):
            with open(os.path.join(out, name)) as f:
                new = json.load(f)
            with open(os.path.join(committed, name)) as f:
                old = json.load(f)
            faults.extend(name + d for d in differences(new, old))
    for fault in faults[:40]:
        print(fault)
    print("%d truth files regenerated, %d differences" % (len(made), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
