#!/usr/bin/env python3
"""Writes rigs to glTF (.glb), COLLADA and FBX with `tessaline convert`, has a real tool read
each file back, and judges what it finds against the rig:

  - every .glb goes through the Khronos glTF Validator and must have no errors;
  - Blender's own importers read every file; each of the rig's bones must be there with its
    bind-time head, and each of the rig's vertices at its place with its weights by bone
    name, within 1e-4 of the rig's size plus the file's four decimals. A uniform unit factor
    is allowed for FBX, which states its unit (Blender takes centimetres to metres).

The rigs: the demo, every file of the Blender corpus converted to a rig, and every skinned
model of a scene-file folder (Debian's assimp-testmodels) converted to a rig.

Usage: judge_exports.py TESSALINE RIGDIR VALIDATORDIR [--models DIR] [--report FILE]
Exit 0 when every file passes, 1 otherwise.
"""
import argparse
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rigfile  # noqa: E402
from judge_conversions import (Grid, ROUNDING, WEIGHT_TOLERANCE, norm, normalised_weights, publish, sub,  # noqa: E402
                               weight_error)

FORMATS = ("glb", "dae", "fbx")
# Units a format states, by which a reader may scale the whole rig.
UNIT_FACTORS = {"fbx": (1.0, 0.01, 100.0)}
# Blender 3.4's COLLADA importer leaves some objects in the file's Y-up frame (meshes
# outside a skin, and whole rigs of some files) while it turns others to Z-up; a file that
# holds a thing in the right place for either reading is taken, since the file is right and
# the importer's choice is its own. The other readers turn everything or nothing.
LEFT_IN_FILE_FRAME = {"dae": lambda p: [p[0], -p[2], p[1]]}
MODEL_EXTENSIONS = (".x", ".fbx", ".dae", ".gltf", ".glb", ".md5mesh", ".smd", ".iqm", ".csm", ".bvh", ".b3d",
                    ".ms3d", ".mdl", ".md2", ".md3", ".ogre", ".xml")


def run(command, timeout=300):
    try:
        done = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=timeout)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return -1, "timed out"


def rig_weights_by_vertex(rig, mesh):
    by_vertex = [{} for _ in mesh["vertices"]]
    pairs = iter(mesh["weights"])
    for v, count in enumerate(mesh["weight_counts"]):
        for _ in range(count):
            bone, weight = next(pairs)
            name = rig["bones"][bone]["name"]
            by_vertex[v][name] = by_vertex[v].get(name, 0.0) + weight
    return by_vertex


def top_four(weights):
    """What glTF keeps: the 4 largest influences, divided by their sum."""
    kept = dict(sorted(weights.items(), key=lambda item: -item[1])[:4])
    return normalised_weights(kept)


def rig_size(rig):
    points = [v for m in rig["meshes"] for v in m["vertices"]]
    points += [rigfile.inverse4(b["inverse_bind"])[3][:3] for b in rig["bones"] if rigfile.inverse4(b["inverse_bind"])]
    if not points:
        return 0.0
    low = [min(p[i] for p in points) for i in range(3)]
    high = [max(p[i] for p in points) for i in range(3)]
    return norm(sub(high, low))


def unit_factor(rig, found, ext):
    """The uniform factor between the rig and what the reader found (the ratio of their
    sizes), snapped to a unit the format states; 1 for formats that state none."""
    candidates = UNIT_FACTORS.get(ext, (1.0,))
    if len(candidates) == 1:
        return candidates[0]
    points = [v for m in found["meshes"] for v in m["vertices"]] + list(found["bones"].values())
    size = rig_size(rig)
    if len(points) < 2 or not size:
        return candidates[0]
    low = [min(p[i] for p in points) for i in range(3)]
    high = [max(p[i] for p in points) for i in range(3)]
    ratio = norm(sub(high, low)) / size
    return min(candidates, key=lambda c: abs(ratio / c - 1))


def judge(rig, found, ext, faults):
    """Largest head and vertex error, relative to the rig's size; faults appended."""
    size = rig_size(rig)
    tolerance = 1e-4 * size + ROUNDING
    factor = unit_factor(rig, found, ext)
    largest = {"head": 0.0, "vertex": 0.0}
    # The skin's joints: readers build armatures from skins, and a joint that skins nothing
    # comes in as a bone, an empty or not at all, placed as each reader likes.
    # Scene formats carry corners, so a vertex that no polygon uses is not written; nor is a
    # joint that weighs only on such vertices.
    used = [set(m["vertex_indices"]) for m in rig["meshes"]]
    skinning = {name for m, u in zip(rig["meshes"], used)
                for v, w in enumerate(rig_weights_by_vertex(rig, m)) if v in u for name in w}
    for bone in rig["bones"]:
        if bone["name"] not in skinning:
            continue
        head = rigfile.inverse4(bone["inverse_bind"])[3][:3]
        seen = found["bones"].get(bone["name"])
        if seen is None:
            faults.append("bone %s is missing" % bone["name"])
            continue
        seen = [x / factor for x in seen]
        if ext in LEFT_IN_FILE_FRAME and norm(sub(seen, head)) > tolerance:
            seen = LEFT_IN_FILE_FRAME[ext](seen)
        error = norm(sub(seen, head))
        largest["head"] = max(largest["head"], error / size if size else error)
        if error > tolerance:
            faults.append("bone %s: head %s, rig %s" % (bone["name"], [round(x, 5) for x in seen], head))
    points, weights = [], []
    for mesh in found["meshes"]:
        points += [[x / factor for x in v] for v in mesh["vertices"]]
        weights += [normalised_weights(w) for w in mesh["weights"]]
        if ext in LEFT_IN_FILE_FRAME:  # the same vertices as if the reader had left them
            points += [LEFT_IN_FILE_FRAME[ext]([x / factor for x in v]) for v in mesh["vertices"]]
            weights += [normalised_weights(w) for w in mesh["weights"]]
    grid = Grid(points, max(tolerance * 4, 1e-9)) if points else None
    for mesh, in_use in zip(rig["meshes"], used):
        skinned = bool(mesh["weight_counts"])
        wanted_weights = rig_weights_by_vertex(rig, mesh)
        for v, position in enumerate(mesh["vertices"]):
            if v not in in_use:
                continue
            wanted = (top_four(wanted_weights[v]) if ext == "glb" else normalised_weights(wanted_weights[v])) \
                if skinned else {}
            best, best_key = None, None
            for i in (grid.near(position) if grid else ()):
                distance = norm(sub(points[i], position))
                key = (distance > tolerance, weight_error(wanted, weights[i]) if skinned else 0.0, distance)
                if best_key is None or key < best_key:
                    best, best_key = i, key
            if best is None:
                faults.append("mesh %s vertex %d at %s: nothing there" % (mesh["name"], v, position))
                largest["vertex"] = float("inf")
                continue
            distance = norm(sub(points[best], position))
            largest["vertex"] = max(largest["vertex"], distance / size if size else distance)
            if distance > tolerance:
                faults.append("mesh %s vertex %d: at %s, rig %s" % (mesh["name"], v, points[best], position))
            if skinned and weight_error(wanted, weights[best]) > WEIGHT_TOLERANCE:
                faults.append("mesh %s vertex %d: weights %s, rig %s" % (mesh["name"], v, weights[best], wanted))
    return largest, factor


def skinned_models(tessaline, models, work):
    """The models of the folder that convert to a rig with weights, as rigs."""
    candidates = sorted(os.path.join(folder, f) for folder, _, files in os.walk(models) for f in files
                        if os.path.splitext(f)[1].lower() in MODEL_EXTENSIONS)

    def convert(path):
        rig = os.path.join(work, "model-" + os.path.relpath(path, models).replace("/", "_") + ".tsl")
        status, _ = run([tessaline, "convert", path, rig], timeout=120)
        if status == 0:
            with open(rig, "rb") as f:
                if b"vertexWeightCounts" in f.read():
                    return os.path.relpath(path, models), rig
        return None

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return [found for found in pool.map(convert, candidates) if found]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaline")
    parser.add_argument("rigdir")
    parser.add_argument("validator")
    parser.add_argument("--models")
    parser.add_argument("--report")
    args = parser.parse_args()
    blender = shutil.which("blender")
    if not blender:
        print("blender is not installed (scripts/install-deps.sh installs it)")
        return 1

    lines, worst, failed = [], {}, 0
    with tempfile.TemporaryDirectory() as work:
        rigs = []
        demo = os.path.join(work, "demo.tsl")
        if run([args.tessaline, "demo", demo])[0] == 0:
            rigs.append(("demo", demo))
        for name in sorted(os.listdir(args.rigdir)):
            if os.path.splitext(name)[1] in (".fbx", ".glb", ".dae"):
                rig = os.path.join(work, "blender-" + name + ".tsl")
                if run([args.tessaline, "convert", os.path.join(args.rigdir, name), rig])[0] == 0:
                    rigs.append((name, rig))
                else:
                    lines.append("FAIL %s: does not convert to a rig" % name)
                    failed += 1
        if args.models:
            rigs += skinned_models(args.tessaline, args.models, work)

        outputs = []  # (label, rig, ext, file, conversion output)
        for label, rig in rigs:
            for ext in FORMATS:
                target = os.path.join(work, "out-%d.%s" % (len(outputs), ext))
                status, said = run([args.tessaline, "convert", rig, target])
                if status != 0:
                    lines.append("FAIL %s -> %s: convert exited %d: %s" % (label, ext, status, said.strip()[-300:]))
                    failed += 1
                    continue
                outputs.append((label, rig, ext, target, said))

        glbs = [o[3] for o in outputs if o[2] == "glb"]
        validated = {}
        if glbs:
            status, text = run(["node", os.path.join(args.validator, "validate.js")] + glbs, timeout=900)
            for line in text.splitlines():
                if line.startswith("{"):
                    result = json.loads(line)
                    validated[result["file"]] = result
        imported = os.path.join(work, "imported.json")
        status, text = run([blender, "--background", "--factory-startup", "--python",
                            os.path.join(os.path.dirname(os.path.abspath(__file__)), "blender_import.py"), "--",
                            imported] + [o[3] for o in outputs], timeout=1800)
        found_all = {}
        if os.path.exists(imported):
            with open(imported) as f:
                found_all = json.load(f)
        else:
            lines.append("Blender failed: " + text[-1000:])
            failed += 1

        for label, rig_path, ext, target, said in outputs:
            faults = []
            if ext == "glb":
                result = validated.get(target)
                if result is None:
                    faults.append("the validator gave no report")
                elif result["errors"]:
                    faults.append("validator: %d errors: %s" % (result["errors"], "; ".join(result["messages"][:3])))
            found = found_all.get(target, {"error": "not imported"})
            largest, factor = {"head": float("nan"), "vertex": float("nan")}, 1.0
            if "error" in found:
                faults.append("Blender's importer: " + found["error"].strip().splitlines()[-1])
            else:
                largest, factor = judge(rigfile.read_rig(rig_path), found, ext, faults)
                for key, value in largest.items():
                    worst.setdefault(ext, {}).setdefault(key, 0.0)
                    worst[ext][key] = max(worst[ext][key], value)
            failed += bool(faults)
            warnings = sum(1 for line in said.splitlines() if line.startswith("WARNING:"))
            lines.append("%-4s %-40s %-3s head %.1e  vertex %.1e  unit %g  warnings %d" % (
                "ok" if not faults else "FAIL", label, ext, largest["head"], largest["vertex"], factor, warnings))
            lines.extend("       " + fault for fault in faults[:8])
    lines.append("")
    lines.append("largest errors per format (relative to the rig's size):")
    for ext in FORMATS:
        if ext in worst:
            lines.append("  %s: bone head %.2e, vertex %.2e" % (ext, worst[ext]["head"], worst[ext]["vertex"]))
    lines.append("%d files judged, %d failed" % (sum(1 for l in lines if l[:4] in ("ok  ", "FAIL")), failed))
    return publish(lines, args.report, failed)


if __name__ == "__main__":
    sys.exit(main())
