#!/usr/bin/env python3
"""Every model of a scene-file corpus through the command-line host.

For each file that Assimp reads: `convert` it to a rig, `check` the rig against the
source, `info` the rig (read back through the plug-in), `roundtrip` the source and `diff`
the source against the rig (which must find nothing). A
file may instead be refused, with an ERROR line that says why and no output left
behind; it may never be written wrong. Prints one line per failure and a summary of
what the corpus holds; exits 1 on any failure.

usage: run_corpus.py TESSALINE MODELS_DIR [--jobs N] [--report FILE]
"""
import argparse
import collections
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

TIMEOUT = 300  # seconds per command; no model comes near it


def run(args):
    try:
        done = subprocess.run(args, capture_output=True, timeout=TIMEOUT)
        return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "", "timed out after %d s" % TIMEOUT


def first_line(text, *marks):
    for line in text.splitlines():
        if any(mark in line for mark in marks):
            return line.strip()
    return text.strip().splitlines()[0] if text.strip() else "(nothing printed)"


def try_model(tessaline, path):
    """(outcome, detail): outcome is converted, refused, unreadable or failed."""
    with tempfile.TemporaryDirectory() as work:
        rig = os.path.join(work, "out.tsl")
        code, out, err = run([tessaline, "convert", path, rig])
        if code is None:
            return "failed", "convert " + err
        if code != 0:
            if "Can't read" in err:
                return "unreadable", first_line(err, "Can't read")
            if "ERROR:" not in err:
                return "failed", "convert exited %d without an ERROR line" % code
            if os.path.exists(rig):
                return "failed", "convert failed but left %s behind" % rig
            return "refused", first_line(err, "ERROR:")
        for name, args in (("check", [tessaline, "check", path, rig]),
                           ("info", [tessaline, "info", rig]),
                           ("roundtrip", [tessaline, "roundtrip", path]),
                           ("diff", [tessaline, "diff", path, rig])):
            code, out, err = run(args)
            if code != 0:
                return "failed", "%s exited %s: %s" % (name, code, first_line(out + err, "MISMATCH", "ERROR"))
        # One kind per warning text, with names and numbers left out.
        with open(rig, "rb") as written:
            skinned = b"\tweights {" in written.read()
        warnings = sorted({re.sub(r"\d+", "N", re.sub(r'"[^"]*"', '"…"', line)).strip()
                           for line in err.splitlines() if line.startswith("WARNING:")})
        return ("converted skinned" if skinned else "converted"), "; ".join(warnings)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaline")
    parser.add_argument("models")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--report")
    options = parser.parse_args()

    files = sorted(os.path.join(root, name) for root, _, names in os.walk(options.models) for name in names)
    if not files:
        print("no files under %s" % options.models)
        return 1
    results = {}
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        futures = {pool.submit(try_model, options.tessaline, path): path for path in files}
        for future in concurrent.futures.as_completed(futures):
            results[futures[future]] = future.result()

    # "converted skinned" counts as converted, and once more on its own.
    outcomes = collections.Counter()
    by_folder = collections.defaultdict(collections.Counter)
    for path, (outcome, _) in results.items():
        folder = os.path.relpath(path, options.models).split(os.sep)[0]
        for kind in outcome.split(" ", 1)[:1] + (["skinned"] if outcome.endswith("skinned") else []):
            outcomes[kind] += 1
            by_folder[folder][kind] += 1
    lines = []
    for path in files:
        outcome, detail = results[path]
        if outcome in ("failed", "refused"):
            lines.append("%-9s %s: %s" % (outcome.upper(), os.path.relpath(path, options.models), detail))
    refused = collections.Counter(
        re.sub(r"\d+", "N", re.sub(r'"[^"]*"', '"…"', detail)) for outcome, detail in results.values()
        if outcome == "refused")
    warned = collections.Counter(
        warning for outcome, detail in results.values() if outcome.startswith("converted") and detail
        for warning in detail.split("; "))
    lines.append("files %d: converted %d (%d skinned), refused %d, failed %d, not read by Assimp %d" % (
        len(files), outcomes["converted"], outcomes["skinned"], outcomes["refused"], outcomes["failed"],
        outcomes["unreadable"]))
    lines.append("  folder          converted  skinned  refused  failed  not read")
    for folder in sorted(by_folder):
        counts = by_folder[folder]
        lines.append("  %-15s %9d %8d %8d %7d %9d" % (folder, counts["converted"], counts["skinned"],
                                                     counts["refused"], counts["failed"], counts["unreadable"]))
    for reason, count in refused.most_common():
        lines.append("  %3d refused with %s" % (count, reason))
    for warning, count in warned.most_common():
        lines.append("  %3d converted with %s" % (count, warning))
    print("\n".join(lines))
    if options.report:
        with open(options.report, "w") as report:
            report.write("\n".join(lines) + "\n")
    return 1 if outcomes["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
