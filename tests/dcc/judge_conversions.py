#!/usr/bin/env python3
"""Converts every rig of the content-tool corpus with `tessaline convert` and judges the
rig file against the truth the content tool computed before it exported (NAME.truth.json):
bone heads and axes, every vertex's position, its weights by bone name, every corner's
normal direction and UVs, and which faces share a material. `tessaline check` of the same
two files must pass too.

Usage: judge_conversions.py TESSALINE RIGDIR [--only NAME.EXT] [--report FILE]
Exit 0 when every file is within tolerance, 1 otherwise.

Lengths are judged within 1e-4 of the rig's size (the diagonal of its bounding box), plus
the rounding of the file's four decimals (9e-5), which a small rig cannot go below.
Directions, UVs and weights are judged within the rounding of the file's four decimals
(a little over 5e-5 per component), so they get 5e-4, 2e-4 and 2e-4. Weights are
compared after each vertex's weights are divided by their sum: what deforms the mesh,
and the only form glTF can carry.
"""
import argparse
import json
import math
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rigfile  # noqa: E402

FORMATS = ("fbx", "glb", "dae")
# Four decimals in three coordinates.
ROUNDING = 9e-5
DIRECTION_TOLERANCE = 5e-4
UV_TOLERANCE = 2e-4
WEIGHT_TOLERANCE = 2e-4

# What an exporter changes on its way into the file, which no reader of the file can undo:
# normals are judged within these instead of DIRECTION_TOLERANCE. Blender's COLLADA
# exporter triangulates before it computes smooth normals, and a triangle's corner angles
# weigh a vertex normal differently from its polygon's: up to 0.03 (1.7 degrees) around the
# poles of this corpus's heads (0.052 in the centimetre rig), where a wrong transform is off
# by ten times as much.
NORMAL_TOLERANCE = {"dae": 6e-2}
# Files whose vertices cannot be placed within 1e-4 of the rig's size through Assimp, with
# the tolerance they get and the reason.
VERTEX_TOLERANCE = {
    "parent_scale_100.dae": (3e-4, "Assimp folds COLLADA's bind shape matrix into every inverse bind "
                                   "matrix, so it is recovered as world(joint) x offset; the joints' "
                                   "seven written digits, under a x100 parent, leave it 0.44 mm off"),
}
# Files whose normals are not judged at all, with the reason.
NORMALS_NOT_JUDGED = {
    "bones_nonuniform.glb": "Blender 3.4's glTF exporter turns the normals of a mesh under a non-uniform "
                            "scale by the matrix instead of its inverse transpose: the file holds "
                            "(-0.3417, -0.0432, -0.9388) where Blender has (-0.2813, 0.7727, -0.5690) "
                            "for the first corner",
}


def sub(a, b):
    return [x - y for x, y in zip(a, b)]


def norm(a):
    return math.sqrt(sum(x * x for x in a))


def unit(a):
    length = norm(a)
    return [x / length for x in a] if length > 0 else a


def comparable(name):
    """Exporters replace characters they cannot keep (a '.' in a bone name, say) by '_'."""
    return re.sub(r"[^A-Za-z0-9]", "_", name)


class Judgement:
    def __init__(self, label):
        self.label = label
        self.faults = []
        self.largest = {"bone head": 0.0, "bone axis": 0.0, "vertex": 0.0, "normal": 0.0}

    def fault(self, text):
        if len(self.faults) < 12:
            self.faults.append(text)
        elif len(self.faults) == 12:
            self.faults.append("...")

    def measure(self, what, error):
        self.largest[what] = max(self.largest[what], error)


def judge_bones(truth, rig, judgement, tolerance, frame):
    bones = {comparable(b["name"]): b for b in rig["bones"]}
    for bone in truth["bones"]:
        if not bone["deform"]:
            continue
        found = bones.get(comparable(bone["name"]))
        if not found:
            judgement.fault("bone %s is missing" % bone["name"])
            continue
        world = rigfile.inverse4(found["inverse_bind"])
        if world is None:
            judgement.fault("bone %s: its inverse bind matrix does not invert" % bone["name"])
            continue
        rest = bone["rest_world"]  # Blender's convention: column vectors
        head = [rest[r][3] * frame.length for r in range(3)]
        head_error = norm(sub(world[3][:3], head))
        judgement.measure("bone head", head_error)
        if head_error > tolerance:
            judgement.fault("bone %s: head %s, truth %s (%.3g off)" % (
                bone["name"], fmt(world[3][:3]), fmt(head), head_error))
        for axis in range(3):
            expected = [rest[r][axis] * frame.axis for r in range(3)]
            actual = world[axis][:3]
            # A direction, and a length relative to its own.
            error = norm(sub(unit(actual), unit(expected))) + abs(norm(actual) - norm(expected)) / norm(expected)
            judgement.measure("bone axis", error)
            if error > DIRECTION_TOLERANCE:
                judgement.fault("bone %s: axis %d is %s, truth %s" % (bone["name"], axis, fmt(actual), fmt(expected)))


def fmt(v):
    return "(" + ", ".join("%.5g" % x for x in v) + ")"


class Grid:
    """Finds the rig vertices near a point."""

    def __init__(self, points, cell):
        self.cell = cell
        self.points = points
        self.cells = {}
        for i, p in enumerate(points):
            self.cells.setdefault(self.key(p), []).append(i)

    def key(self, p):
        return tuple(int(math.floor(x / self.cell)) for x in p)

    def near(self, p):
        kx, ky, kz = self.key(p)
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    for i in self.cells.get((kx + dx, ky + dy, kz + dz), ()):
                        yield i


def normalised_weights(weights):
    total = sum(weights.values())
    return {comparable(b): w / total for b, w in weights.items() if w != 0} if total > 0 else {}


def weight_error(a, b):
    return max([abs(a.get(k, 0.0) - b.get(k, 0.0)) for k in set(a) | set(b)] or [0.0])


def rig_weights(rig, mesh):
    by_vertex = [{} for _ in mesh["vertices"]]
    pairs = iter(mesh["weights"])
    for v, count in enumerate(mesh["weight_counts"]):
        for _ in range(count):
            bone, weight = next(pairs)
            name = rig["bones"][bone]["name"]
            by_vertex[v][name] = by_vertex[v].get(name, 0.0) + weight
    return [normalised_weights(w) for w in by_vertex]


def match_vertices(truth_mesh, mesh, weights, tolerance, judgement, skinned):
    """The rig vertex of each truth vertex: the nearest one, of equal weights among those
    within tolerance."""
    grid = Grid(mesh["vertices"], max(tolerance * 4, 1e-9))
    matches = []
    for t, position in enumerate(truth_mesh["vertices"]):
        wanted = normalised_weights(truth_mesh["weights"][t]) if skinned else {}
        best, best_key = None, None
        for i in grid.near(position):
            distance = norm(sub(mesh["vertices"][i], position))
            key = (distance > tolerance, weight_error(wanted, weights[i]) if skinned else 0.0, distance)
            if best_key is None or key < best_key:
                best, best_key = i, key
        if best is None:  # far off: the nearest of all, to report how far
            best = min(range(len(mesh["vertices"])), key=lambda i: norm(sub(mesh["vertices"][i], position)))
        distance = norm(sub(mesh["vertices"][best], position))
        judgement.measure("vertex", distance)
        if distance > tolerance:
            judgement.fault("mesh %s vertex %d: at %s, truth %s (%.3g off)" % (
                truth_mesh["name"], t, fmt(mesh["vertices"][best]), fmt(position), distance))
        # Four decimals of raw weights that add up to less than 1 weigh more once divided by
        # their sum.
        total = sum(truth_mesh["weights"][t].values()) if skinned else 1.0
        if skinned and weight_error(wanted, weights[best]) > WEIGHT_TOLERANCE / min(1.0, max(total, 1e-3)):
            judgement.fault("mesh %s vertex %d: weights %s, truth %s" % (
                truth_mesh["name"], t, fmt_weights(weights[best]), fmt_weights(wanted)))
        matches.append(best)
    return matches


def fmt_weights(w):
    return "{" + ", ".join("%s: %.4f" % (k, w[k]) for k in sorted(w)) + "}"


def rig_polygons(mesh):
    polygons, corner = [], 0
    for count in mesh["counts"]:
        polygons.append(list(range(corner, corner + count)))
        corner += count
    return polygons


def judge_corners(truth_mesh, mesh, matches, judgement, normal_tolerance):
    """Every rig polygon lies inside one truth polygon (a format without n-gons splits
    them), and each of its corners carries that truth corner's normal and UVs; faces of
    one truth material share one rig material, and only they."""
    truth_polygon_of = {}
    for p, polygon in enumerate(truth_mesh["polygons"]):
        truth_polygon_of.setdefault(frozenset(matches[v] for v in polygon["vertices"]), []).append(p)
    covered = set()
    material_of = {}
    uv_layers = truth_mesh["uv_layers"]
    if len([s for s in mesh["uv_sets"] if s]) < len(uv_layers):
        judgement.fault("mesh %s: %d UV sets, truth %d" % (truth_mesh["name"], len(mesh["uv_sets"]), len(uv_layers)))
    for r, corners in enumerate(rig_polygons(mesh)):
        vertices = [mesh["vertex_indices"][c] for c in corners]
        candidates = [p for key, ps in truth_polygon_of.items() if set(vertices) <= key for p in ps]
        if not candidates:
            judgement.fault("mesh %s polygon %d: no truth polygon holds its corners" % (truth_mesh["name"], r))
            continue
        p = candidates[0]
        covered.add(p)
        truth = truth_mesh["polygons"][p]
        rig_material = mesh["materials"][mesh["material_indices"][r]] if mesh["materials"] else None
        material_of.setdefault(truth["material"], set()).add(rig_material)
        for c, v in zip(corners, vertices):
            k = [matches[t] for t in truth["vertices"]].index(v)
            normal = mesh["normals"][mesh["normal_indices"][c]]
            normal_error = norm(sub(unit(normal), truth["normals"][k]))
            if normal_tolerance is not None:
                judgement.measure("normal", normal_error)
            if normal_tolerance is not None and normal_error > normal_tolerance:
                judgement.fault("mesh %s polygon %d: corner normal %s, truth %s" % (
                    truth_mesh["name"], r, fmt(normal), fmt(truth["normals"][k])))
            for s, layer in enumerate(uv_layers):
                if s >= len(mesh["uv_sets"]) or not mesh["uv_sets"][s]:
                    continue
                uv = mesh["uv_sets"][s][mesh["uv_indices"][s][c]]
                if norm(sub(uv, truth["uvs"][layer][k])) > UV_TOLERANCE:
                    judgement.fault("mesh %s polygon %d: UV set %d corner %s, truth %s" % (
                        truth_mesh["name"], r, s, fmt(uv), fmt(truth["uvs"][layer][k])))
    if len(covered) != len(truth_mesh["polygons"]):
        judgement.fault("mesh %s: %d of %d truth polygons are in the rig" % (
            truth_mesh["name"], len(covered), len(truth_mesh["polygons"])))
    rig_materials = [m for ms in material_of.values() for m in ms]
    if any(len(ms) != 1 for ms in material_of.values()) or len(set(rig_materials)) != len(rig_materials):
        judgement.fault("mesh %s: faces of one material do not stay together: %s" % (truth_mesh["name"], material_of))


class Frame:
    """How the truth's numbers become the file's. The truth is in metres; Blender's FBX
    and COLLADA exporters write the scene's unit scale into the file, its glTF exporter
    does not (a centimetre scene comes out 100 times larger). The truth's bone matrices
    keep unit-length axes, while in metres a bone of a centimetre scene has axes 0.01
    long."""

    def __init__(self, truth, ext):
        self.length = 1.0 / truth["unit_scale"] if ext == "glb" else 1.0
        self.axis = truth["unit_scale"] * self.length


def judge(truth, rig, judgement, ext):
    frame = Frame(truth, ext)
    normal_tolerance = None if judgement.label in NORMALS_NOT_JUDGED else NORMAL_TOLERANCE.get(ext, DIRECTION_TOLERANCE)
    relative = VERTEX_TOLERANCE.get(judgement.label, (1e-4, None))[0]
    tolerance = relative * truth["size"] * frame.length + ROUNDING
    judge_bones(truth, rig, judgement, tolerance, frame)
    meshes = {comparable(m["name"]): m for m in rig["meshes"]}
    for truth_mesh in truth["meshes"]:
        mesh = meshes.get(comparable(truth_mesh["name"]))
        if not mesh:
            judgement.fault("mesh %s is missing" % truth_mesh["name"])
            continue
        skinned = truth_mesh["skinned"]
        weights = rig_weights(rig, mesh)
        truth_mesh = dict(truth_mesh, vertices=[[x * frame.length for x in v] for v in truth_mesh["vertices"]])
        matches = match_vertices(truth_mesh, mesh, weights, tolerance, judgement, skinned)
        judge_corners(truth_mesh, mesh, matches, judgement, normal_tolerance)


def convert(tessaline, source, target):
    run = subprocess.run([tessaline, "convert", source, target], capture_output=True, text=True, errors="replace")
    return run.returncode, run.stdout + run.stderr


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaline")
    parser.add_argument("rigdir")
    parser.add_argument("--only", help="one file, NAME.EXT")
    parser.add_argument("--report")
    args = parser.parse_args()

    truths = sorted(f[:-len(".truth.json")] for f in os.listdir(args.rigdir) if f.endswith(".truth.json"))
    if not truths:
        print("no truth files in " + args.rigdir)
        return 1
    lines, failed, worst = [], 0, {}
    with tempfile.TemporaryDirectory() as work:
        for name in truths:
            with open(os.path.join(args.rigdir, name + ".truth.json")) as f:
                truth = json.load(f)
            for ext in FORMATS:
                label = name + "." + ext
                source = os.path.join(args.rigdir, label)
                if args.only and args.only != label or not os.path.exists(source):
                    continue
                judgement = Judgement(label)
                target = os.path.join(work, label + ".tsl")
                status, output = convert(args.tessaline, source, target)
                warnings = [line for line in output.splitlines() if line.startswith("WARNING:")]
                if status != 0:
                    judgement.fault("convert exited %d: %s" % (status, output.strip()))
                else:
                    try:
                        judge(truth, rigfile.read_rig(target), judgement, ext)
                    except ValueError as error:
                        judgement.fault("the rig file is not as the exporter writes it: %s" % error)
                    # The program's own check must agree with the truth's verdict.
                    check = subprocess.run([args.tessaline, "check", source, target], capture_output=True,
                                           text=True, errors="replace")
                    if check.returncode != 0:
                        judgement.fault("tessaline check exited %d:\n%s" % (check.returncode, check.stdout[-1500:]))
                size = truth["size"] * Frame(truth, ext).length
                relative = {k: v / size if k in ("bone head", "vertex") else v for k, v in judgement.largest.items()}
                for k, v in relative.items():
                    worst.setdefault(ext, {}).setdefault(k, 0.0)
                    worst[ext][k] = max(worst[ext][k], v)
                worst[ext].setdefault("warnings", set()).update(re.sub(r'"[^"]*"', '"N"', w) for w in warnings)
                ok = not judgement.faults
                failed += not ok
                lines.append("%-4s %-24s head %.1e  axis %.1e  vertex %.1e  normal %.1e  warnings %d" % (
                    "ok" if ok else "FAIL", label, relative["bone head"], relative["bone axis"],
                    relative["vertex"], relative["normal"], len(warnings)))
                lines.extend("       " + fault for fault in judgement.faults)
                if label in VERTEX_TOLERANCE:
                    lines.append("       vertices within %.0e of the size: %s" % VERTEX_TOLERANCE[label])
                if label in NORMALS_NOT_JUDGED:
                    lines.append("       normals not judged: " + NORMALS_NOT_JUDGED[label])
    lines.append("")
    lines.append("largest errors per format (lengths relative to the rig's size):")
    for ext in FORMATS:
        if ext in worst:
            w = worst[ext]
            lines.append("  %s: bone head %.2e, bone axis %.2e, vertex %.2e, normal %.2e; warnings: %s" % (
                ext, w["bone head"], w["bone axis"], w["vertex"], w["normal"], "; ".join(sorted(w["warnings"])) or "none"))
    lines.append("%d of %d files within tolerance" % (
        sum(1 for l in lines if l.startswith("ok ")), sum(1 for l in lines if l[:4] in ("ok  ", "FAIL"))))
    return publish(lines, args.report, failed)


def publish(lines, report, failed):
    """Prints the report, writes it to the report file when there is one, and gives the
    exit status: 1 when anything failed."""
    text = "\n".join(lines)
    print(text)
    if report:
        with open(report, "w") as f:
            f.write(text + "\n")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
