#!/usr/bin/env python3
"""Every model of a scene-file corpus through the command-line host.

For each file that Assimp reads: `convert` it to a rig, `check` the rig against the
source, `info` the rig (read back through the plug-in), `roundtrip` the source and `diff`
the source against the rig (which must find nothing). A
file may instead be refused, with an ERROR line that says why and no output left
behind; it may never be written wrong. Prints one line per failure and a summary of
what the corpus holds.

Each file's outcome is then compared with the manifest (manifest.json beside this
script): converted (skinned or not) with the warning lines `convert` printed, refused
with its ERROR line, or not read by Assimp. A file whose outcome, reason or warnings
differ from its entry, a file without an entry and an entry without a file are each
printed as a drift line. Exits 1 on any failure or drift. `--update-manifest` writes
the manifest from this run instead (failures still fail, and are never recorded), so a
change in what the corpus does is committed together with the change that caused it.

usage: run_corpus.py TESSALINE MODELS_DIR [--jobs N] [--report FILE]
                     [--manifest FILE] [--update-manifest]
"""
import argparse
import collections
import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile

TIMEOUT = 300  # seconds per command; no model comes near it
MANIFEST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "manifest.json")


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


def kind_of(text):
    """A message with its names and numbers left out, to count messages by kind."""
    return re.sub(r"\d+", "N", re.sub(r'"[^"]*"', '"…"', text)).strip()


def try_model(tessaline, models, path):
    """(outcome, detail): outcome is converted, converted skinned, refused, unreadable or
    failed; detail is the ERROR line of a refusal, the list of warning lines of a
    conversion, or what failed. Texts name the source by its path under the corpus
    folder and the rig as OUT, so they read the same in every run and every checkout."""
    with tempfile.TemporaryDirectory() as work:
        rig = os.path.join(work, "out.tsl")

        def stable(text):
            return text.replace(rig, "OUT").replace(work, "WORK").replace(os.path.join(models, ""), "")

        code, out, err = run([tessaline, "convert", path, rig])
        if code is None:
            return "failed", "convert " + err
        if code != 0:
            if "Can't read" in err:
                return "unreadable", stable(first_line(err, "Can't read"))
            if "ERROR:" not in err:
                return "failed", "convert exited %d without an ERROR line" % code
            if os.path.exists(rig):
                return "failed", "convert failed but left %s behind" % rig
            return "refused", stable(first_line(err, "ERROR:"))
        warnings = [stable(line.strip()) for line in err.splitlines() if line.startswith("WARNING:")]
        for name, args in (("check", [tessaline, "check", path, rig]),
                           ("info", [tessaline, "info", rig]),
                           ("roundtrip", [tessaline, "roundtrip", path]),
                           ("diff", [tessaline, "diff", path, rig])):
            code, out, err = run(args)
            if code != 0:
                return "failed", "%s exited %s: %s" % (name, code, first_line(out + err, "MISMATCH", "ERROR"))
        with open(rig, "rb") as written:
            skinned = b"\tweights {" in written.read()
        return ("converted skinned" if skinned else "converted"), warnings


def entry_of(outcome, detail):
    """The manifest entry of one file's outcome."""
    if outcome == "refused":
        return {"outcome": outcome, "reason": detail}
    if outcome.startswith("converted") and detail:
        return {"outcome": outcome, "warnings": detail}
    return {"outcome": outcome}


def drift(manifest, entries):
    """One line per file whose entry differs from the manifest's, in path order."""
    lines = []
    for name in sorted(set(manifest) | set(entries)):
        was, now = manifest.get(name), entries.get(name)
        if was == now:
            continue
        if now is None:
            lines.append("GONE      %s: the manifest has it %s, but there is no such file" % (name, was["outcome"]))
        elif was is None:
            lines.append("NEW       %s: %s, and the manifest has no entry for it" % (name, now["outcome"]))
        elif was["outcome"] != now["outcome"]:
            lines.append("CHANGED   %s: was %s, now %s%s" % (
                name, was["outcome"], now["outcome"], ": " + now["reason"] if "reason" in now else ""))
        elif was.get("reason") != now.get("reason"):
            lines.append("CHANGED   %s: %s with %s, now with %s" % (name, now["outcome"], was["reason"], now["reason"]))
        else:
            before = collections.Counter(was.get("warnings", []))
            after = collections.Counter(now.get("warnings", []))
            changes = ["-" + line for line in sorted((before - after).elements())] + \
                      ["+" + line for line in sorted((after - before).elements())]
            lines.append("CHANGED   %s: warnings %s" % (name, " | ".join(changes) if changes else "in another order"))
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaline")
    parser.add_argument("models")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--report")
    parser.add_argument("--manifest", default=MANIFEST)
    parser.add_argument("--update-manifest", action="store_true")
    options = parser.parse_args()
    models = os.path.abspath(options.models)

    files = sorted(os.path.join(root, name) for root, _, names in os.walk(models) for name in names)
    if not files:
        print("no files under %s" % models)
        return 1
    results = {}
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        futures = {pool.submit(try_model, options.tessaline, models, path): path for path in files}
        for future in concurrent.futures.as_completed(futures):
            results[futures[future]] = future.result()

    # "converted skinned" counts as converted, and once more on its own.
    outcomes = collections.Counter()
    by_folder = collections.defaultdict(collections.Counter)
    for path, (outcome, _) in results.items():
        folder = os.path.relpath(path, models).split(os.sep)[0]
        for kind in outcome.split(" ", 1)[:1] + (["skinned"] if outcome.endswith("skinned") else []):
            outcomes[kind] += 1
            by_folder[folder][kind] += 1
    lines = []
    for path in files:
        outcome, detail = results[path]
        if outcome in ("failed", "refused"):
            lines.append("%-9s %s: %s" % (outcome.upper(), os.path.relpath(path, models), detail))
    refused = collections.Counter(kind_of(detail) for outcome, detail in results.values() if outcome == "refused")
    # One kind per warning text, counted once per file that has it.
    warned = collections.Counter(
        warning for outcome, detail in results.values() if outcome.startswith("converted")
        for warning in sorted({kind_of(line) for line in detail}))
    lines.append("files %d: converted %d (%d skinned), refused %d, failed %d, not read by Assimp %d" % (
        len(files), outcomes["converted"], outcomes["skinned"], outcomes["refused"], outcomes["failed"],
        outcomes["unreadable"]))
    lines.append("  folder          converted  skinned  refused  failed  not read")
    for folder in sorted(by_folder):
        counts = by_folder[folder]
        lines.append("  %-15s %9d %8d %8d %7d %9d" % (folder, counts["converted"], counts["skinned"],
                                                     counts["refused"], counts["failed"], counts["unreadable"]))
    # Most frequent first, texts of one count in text order, so the report reads the same every run.
    for reason, count in sorted(refused.items(), key=lambda item: (-item[1], item[0])):
        lines.append("  %3d refused with %s" % (count, reason))
    for warning, count in sorted(warned.items(), key=lambda item: (-item[1], item[0])):
        lines.append("  %3d converted with %s" % (count, warning))

    # Paths under the corpus folder with "/" on every system, as the manifest keeps them.
    entries = {os.path.relpath(path, models).replace(os.sep, "/"): entry_of(*results[path])
               for path in files if results[path][0] != "failed"}
    drifted = []
    if options.update_manifest:
        if not outcomes["failed"]:
            # One line per file, in path order, so a change shows as the lines of its files.
            with open(options.manifest, "w", encoding="utf-8") as manifest:
                manifest.write("{\n" + ",\n".join(
                    " %s: %s" % (json.dumps(name, ensure_ascii=False), json.dumps(entries[name], ensure_ascii=False))
                    for name in sorted(entries)) + "\n}\n")
            lines.append("manifest: wrote %d entries to %s" % (len(entries), options.manifest))
        else:
            lines.append("manifest: not written, %d files failed" % outcomes["failed"])
    else:
        try:
            with open(options.manifest, encoding="utf-8") as manifest:
                expected = json.load(manifest)
        except (OSError, ValueError) as error:
            expected = None
            drifted = ["manifest: cannot read %s: %s" % (options.manifest, error)]
        if expected is not None:
            # A failed file is reported above; its entry is not also reported as gone.
            failed = {os.path.relpath(path, models).replace(os.sep, "/")
                      for path in files if results[path][0] == "failed"}
            drifted = drift({name: entry for name, entry in expected.items() if name not in failed}, entries)
        if expected is not None and drifted:
            drifted.append("manifest: %d files differ from %s; if the change is meant, run with "
                           "--update-manifest and commit the manifest with it" % (len(drifted), options.manifest))
        elif expected is not None:
            lines.append("manifest: all %d files as recorded" % len(expected))
    lines = drifted + lines
    print("\n".join(lines))
    if options.report:
        with open(options.report, "w") as report:
            report.write("\n".join(lines) + "\n")
    return 1 if outcomes["failed"] or drifted else 0


if __name__ == "__main__":
    sys.exit(main())
