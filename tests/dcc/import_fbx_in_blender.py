"""Imports an FBX file with Blender's own importer and prints, as JSON, what Blender finds.

    blender --background --factory-startup --python import_fbx_in_blender.py -- FILE.fbx [OUT.json]

The JSON is printed on one line that starts with "import_fbx_in_blender: ", and written to
OUT.json as well when it is given. It holds:

- `file`, `fbx_version` (the version the file declares), `unit_scale_factor` (the file's
  GlobalSettings UnitScaleFactor: centimetres per file unit, 1 for a file in centimetres),
  `importer` (the options passed to the importer besides the file path; the rest are
  Blender's defaults, which turn the file's unit into metres and its up axis into Z).
- `bones[]`: `name`, `parent` (bone name or null), `armature` (object name), `head` and
  `tail` (rest position, world space).
- `meshes[]`: `name`, `parent` (object name or null), `armature` (the object of its
  Armature modifier, or null), `vertex_count`, `vertices` (world rest positions of the
  undeformed mesh), `weights` (one object per vertex: vertex group name, which is the
  bone's name, to the weight; zeros left out).

Every length is in metres (Blender units times the scene's unit scale) in Blender's world
space (Z up), rounded to 7 significant digits, as in the rigs' truth files. A file the
importer refuses gives {"file": ..., "error": ...} and exit status 1.
"""
import json
import sys

import bpy

IMPORTER_OPTIONS = {}


def num(x):
    v = float('%.7g' % x)
    return 0.0 if v == 0 else v


def vec(v):
    return [num(c) for c in v]


def declared(path):
    """The version and the UnitScaleFactor the file declares, read with Blender's parser."""
    from io_scene_fbx import parse_fbx
    version = parse_fbx.parse_version(path)
    if version == 0:  # ASCII FBX, which Blender does not import
        return 0, None
    root, _ = parse_fbx.parse(path)
    for elem in root.elems:
        if elem.id != b'GlobalSettings':
            continue
        for group in elem.elems:
            if group.id != b'Properties70':
                continue
            for prop in group.elems:
                if prop.props and prop.props[0] == b'UnitScaleFactor':
                    return version, prop.props[-1]
    return version, None


def armature_of(ob):
    for mod in ob.modifiers:
        if mod.type == 'ARMATURE' and mod.object is not None:
            return mod.object
    return None


def describe(path):
    scene = bpy.context.scene
    bpy.context.view_layer.update()
    unit = scene.unit_settings.scale_length
    objects = sorted(scene.objects, key=lambda o: o.name)
    bones = []
    for arm in (o for o in objects if o.type == 'ARMATURE'):
        mw = arm.matrix_world
        for bone in arm.data.bones:
            bones.append({
                'name': bone.name,
                'parent': bone.parent.name if bone.parent else None,
                'armature': arm.name,
                'head': vec(mw @ bone.head_local * unit),
                'tail': vec(mw @ bone.tail_local * unit),
            })
    meshes = []
    for ob in (o for o in objects if o.type == 'MESH'):
        mw = ob.matrix_world
        arm = armature_of(ob)
        groups = {g.index: g.name for g in ob.vertex_groups}
        vertices = ob.data.vertices
        meshes.append({
            'name': ob.name,
            'parent': ob.parent.name if ob.parent else None,
            'armature': arm.name if arm else None,
            'vertex_count': len(vertices),
            'vertices': [vec(mw @ v.co * unit) for v in vertices],
            'weights': [{groups[g.group]: num(g.weight) for g in v.groups if g.group in groups and g.weight != 0}
                        for v in vertices],
        })
    version, unit_scale_factor = declared(path)
    return {
        'file': path,
        'fbx_version': version,
        'unit_scale_factor': unit_scale_factor,
        'importer': IMPORTER_OPTIONS,
        'bones': bones,
        'meshes': meshes,
    }


def main():
    argv = sys.argv[sys.argv.index('--') + 1:] if '--' in sys.argv else []
    if len(argv) not in (1, 2):
        raise SystemExit('usage: blender --background --factory-startup --python import_fbx_in_blender.py -- '
                         'FILE.fbx [OUT.json]')
    path = argv[0]
    bpy.ops.wm.read_factory_settings(use_empty=True)
    try:
        bpy.ops.import_scene.fbx(filepath=path, **IMPORTER_OPTIONS)
        found = describe(path)
    except Exception as error:  # the importer reports a file it cannot read as an exception
        found = {'file': path, 'error': str(error).strip()}
    text = json.dumps(found, separators=(',', ':'))
    if len(argv) == 2:
        with open(argv[1], 'w') as f:
            f.write(text + '\n')
    print('import_fbx_in_blender: ' + text)
    sys.stdout.flush()
    if 'error' in found:
        sys.exit(1)


main()
