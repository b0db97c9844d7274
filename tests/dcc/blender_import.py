"""Imports scene files with Blender's own importers and writes what Blender finds, as JSON.

    blender --background --factory-startup --python blender_import.py -- OUT.json FILE...

For each file, in a fresh empty scene: every armature's bones with their rest heads in world
space, every empty's world position (a joint that skins nothing may come in as one), and
every mesh object's rest vertex positions in world space (the mesh data, not
deformed by a pose) with its weights by vertex group name. A file the importer refuses
gets {"error": ...}. Coordinates are Blender's (Z up) in Blender units.
"""
import json
import os
import sys
import traceback

# Debian's numpy, which a Python of another origin may hide; Blender 3.4's glTF add-on
# still uses np.bool, which numpy 1.24 removed.
sys.path.append("/usr/lib/python3/dist-packages")
import numpy  # noqa: E402
if not hasattr(numpy, "bool"):
    numpy.bool = bool

import bpy  # noqa: E402


def import_file(path):
    extension = os.path.splitext(path)[1].lower()
    if extension in (".glb", ".gltf"):
        bpy.ops.import_scene.gltf(filepath=path)
    elif extension == ".fbx":
        bpy.ops.import_scene.fbx(filepath=path)
    elif extension == ".dae":
        bpy.ops.wm.collada_import(filepath=path)
    else:
        raise ValueError("no importer for " + extension)


def describe():
    found = {"bones": {}, "meshes": [], "empties": {}}
    for ob in bpy.context.scene.objects:
        if ob.type == "EMPTY":
            found["empties"][ob.name] = list(ob.matrix_world.translation)
        elif ob.type == "ARMATURE":
            for bone in ob.data.bones:
                found["bones"][bone.name] = list(ob.matrix_world @ bone.head_local)
        elif ob.type == "MESH":
            groups = {g.index: g.name for g in ob.vertex_groups}
            mesh = ob.data
            found["meshes"].append({
                "name": ob.name,
                "vertices": [list(ob.matrix_world @ v.co) for v in mesh.vertices],
                "weights": [{groups[g.group]: g.weight for g in v.groups if g.group in groups and g.weight != 0}
                            for v in mesh.vertices],
            })
    return found


def main():
    arguments = sys.argv[sys.argv.index("--") + 1:]
    out, files = arguments[0], arguments[1:]
    results = {}
    for path in files:
        bpy.ops.wm.read_factory_settings(use_empty=True)
        try:
            import_file(path)
            results[path] = describe()
        except Exception:  # the importer's own failure is the finding
            results[path] = {"error": traceback.format_exc(limit=3)}
    with open(out, "w") as f:
        json.dump(results, f)


main()
