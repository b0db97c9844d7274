#!/usr/bin/env python3
"""Rigs converted from a scene-file corpus, read through tsl.h and the plug-in's importer.

Converts every model the command-line host can convert into a folder of rigs, then runs
the engine test program's corpus test over that folder: each rig must read the same
through both readers. Models the host refuses or cannot read are left out, as the
corpus test itself judges them. Exits with the test program's status; 1 when no model
converted.

usage: corpus_rigs.py TESSALINE ENGINE_TESTS MODELS_DIR [--jobs N] [--keep DIR]
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

TIMEOUT = 300


def convert(tessaline, source, target):
    try:
        done = subprocess.run([tessaline, "convert", source, target], capture_output=True, timeout=TIMEOUT)
        return done.returncode == 0 and os.path.exists(target)
    except subprocess.TimeoutExpired:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaline")
    parser.add_argument("engine_tests")
    parser.add_argument("models")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--keep", help="folder to leave the converted rigs in")
    args = parser.parse_args()

    sources = sorted(os.path.join(root, name) for root, _, names in os.walk(args.models) for name in names)
    with tempfile.TemporaryDirectory() as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        targets = {}
        for number, source in enumerate(sources):
            stem = os.path.relpath(source, args.models).replace(os.sep, "_")
            targets[source] = os.path.join(folder, "%04d_%s.tsl" % (number, stem))
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            done = list(pool.map(lambda s: convert(args.tessaline, s, targets[s]), sources))
        converted = sum(done)
        print("%d of %d models converted to rigs" % (converted, len(sources)))
        if not converted:
            return 1
        env = dict(os.environ, TSL_CORPUS_RIGS=folder)
        result = subprocess.run([args.engine_tests, "--gtest_filter=EngineHostTest.CorpusRigsReadTheSame"], env=env)
        return result.returncode


if __name__ == "__main__":
    sys.exit(main())
