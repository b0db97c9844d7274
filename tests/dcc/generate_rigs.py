"""Build a small corpus of skinned rigs in Blender and export each with Blender's own
FBX, glTF (.glb) and COLLADA exporters, next to a truth file computed from Blender's
data.

Run headless:

    blender --background --factory-startup --python tests/dcc/generate_rigs.py -- OUTDIR

Every rig is built from scratch in an empty scene, without randomness, so the truth
files come out the same on every run.  The exported files are not byte-stable: the
COLLADA and FBX files carry time stamps, and the FBX exporter derives object ids from
Python's string hash, which changes per run unless PYTHONHASHSEED is fixed.
"""

import sys

# A pyenv python first on PATH can hide Debian's numpy from Blender; the glTF exporter needs it.
sys.path.append('/usr/lib/python3/dist-packages')

import json
import math
import os
import time
import warnings

import bmesh
import bpy
import numpy
from mathutils import Euler, Matrix, Vector

# Blender 3.4's glTF add-on still uses numpy.bool, which numpy 1.24 removed.
with warnings.catch_warnings():
    warnings.simplefilter('ignore')
    if not hasattr(numpy, 'bool'):
        numpy.bool = bool


# Options passed to each exporter besides the file path; everything else is Blender's default.
#
# FBX needs none: its defaults already write every bone (use_armature_deform_only=False),
# every influence with its raw weight, the rest mesh (the Armature modifier is switched
# off while modifiers are applied), n-gons (use_triangles=False), per-corner normals, all
# UV layers and the scene's unit scale (apply_unit_scale=True).
FBX_OPTIONS = {}
GLB_OPTIONS = {
    # One binary file rather than .gltf plus .bin.
    'export_format': 'GLB',
    # Without this the exporter keeps only the 4 largest influences of a vertex.
    'export_all_influences': True,
}
# Defaults: note that they triangulate every polygon.
DAE_OPTIONS = {}


def deg(*angles):
    return Euler([math.radians(a) for a in angles], 'XYZ')


def trs(loc=(0, 0, 0), rot=(0, 0, 0), scale=(1, 1, 1)):
    """Object matrix from a location, XYZ Euler angles in degrees and a scale."""
    if not isinstance(scale, (tuple, list)):
        scale = (scale, scale, scale)
    return Matrix.LocRotScale(Vector(loc), deg(*rot), Vector(scale))


# ---------------------------------------------------------------------------------------
# Scene and objects

def new_scene(unit_scale=1.0, length_unit='METERS'):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.unit_settings.system = 'METRIC'
    scene.unit_settings.scale_length = unit_scale
    scene.unit_settings.length_unit = length_unit
    return scene


def link(ob):
    bpy.context.scene.collection.objects.link(ob)
    return ob


def place(ob, matrix, parent=None, parent_inverse=None):
    ob.parent = parent
    if parent_inverse is not None:
        ob.matrix_parent_inverse = parent_inverse
    ob.matrix_basis = matrix
    bpy.context.view_layer.update()


def add_empty(name, matrix, parent=None):
    ob = link(bpy.data.objects.new(name, None))
    place(ob, matrix, parent)
    return ob


def material(name, color):
    mat = bpy.data.materials.get(name)
    if mat is None:
        mat = bpy.data.materials.new(name)
        mat.use_nodes = True
        mat.node_tree.nodes['Principled BSDF'].inputs['Base Color'].default_value = (*color, 1.0)
        mat.diffuse_color = (*color, 1.0)
    return mat


# ---------------------------------------------------------------------------------------
# Bones.  A bone is a dict: name, parent name, head, tail (armature space), roll in
# degrees, connected to its parent, deform.

def B(name, parent, head, tail, roll=0.0, connect=False, deform=True):
    return dict(name=name, parent=parent, head=Vector(head), tail=Vector(tail),
                roll=roll, connect=connect, deform=deform)


def biped(s=1.0, hand_l='hand_L', control=False):
    """A small biped, s armature units per metre; tilted bones with assorted rolls."""
    def v(x, y, z):
        return (x * s, y * s, z * s)
    bones = []
    root = None
    if control:
        bones.append(B('root', None, v(0, 0, 0), v(0, 0.25, 0), 0, deform=False))
        root = 'root'
    bones += [
        B('hips', root, v(0, 0.03, 0.95), v(0, 0.01, 1.08), 0),
        B('spine_01', 'hips', v(0, 0.01, 1.08), v(0, -0.02, 1.27), 4, True),
        B('spine_02', 'spine_01', v(0, -0.02, 1.27), v(0, -0.01, 1.45), -6, True),
        B('neck', 'spine_02', v(0, -0.01, 1.45), v(0, 0.02, 1.57), 3, True),
        B('head', 'neck', v(0, 0.02, 1.57), v(0, 0.0, 1.80), 10, True),
    ]
    for side, sx in (('L', 1), ('R', -1)):
        hand = hand_l if side == 'L' else 'hand_R'
        bones += [
            B('upper_arm_' + side, 'spine_02', v(0.17 * sx, 0.01, 1.42), v(0.42 * sx, 0.06, 1.26), 35 * sx),
            B('lower_arm_' + side, 'upper_arm_' + side, v(0.42 * sx, 0.06, 1.26), v(0.66 * sx, -0.04, 1.12),
              50 * sx, True),
            B(hand, 'lower_arm_' + side, v(0.66 * sx, -0.04, 1.12), v(0.76 * sx, -0.06, 1.05), 60 * sx, True),
            B('thigh_' + side, 'hips', v(0.10 * sx, 0.02, 0.93), v(0.13 * sx, 0.05, 0.50), 8 * sx),
            B('shin_' + side, 'thigh_' + side, v(0.13 * sx, 0.05, 0.50), v(0.12 * sx, 0.09, 0.08), -12 * sx, True),
        ]
    if control:
        bones.append(B('ik_foot_L', 'root', v(0.12, 0.09, 0.08), v(0.12, 0.30, 0.08), 0, deform=False))
    return bones


def chain(prefix, points, rolls, parent=None):
    """Connected bones through the given points."""
    bones = []
    for i in range(len(points) - 1):
        name = '%s_%02d' % (prefix, i + 1)
        bones.append(B(name, parent if i == 0 else bones[-1]['name'], points[i], points[i + 1],
                       rolls[i], connect=i > 0))
    return bones


def add_armature(name, bones, matrix, parent=None):
    arm = bpy.data.armatures.new(name)
    ob = link(bpy.data.objects.new(name, arm))
    place(ob, matrix, parent)
    bpy.context.view_layer.objects.active = ob
    bpy.ops.object.mode_set(mode='EDIT')
    for bone in bones:
        eb = arm.edit_bones.new(bone['name'])
        eb.head = bone['head']
        eb.tail = bone['tail']
        eb.roll = math.radians(bone['roll'])
        eb.use_deform = bone['deform']
        if bone['parent']:
            eb.parent = arm.edit_bones[bone['parent']]
            eb.use_connect = bone['connect']
    bpy.ops.object.mode_set(mode='OBJECT')
    return ob


def by_name(bones):
    return {b['name']: b for b in bones}


def pose(arm_ob, **bones):
    """Set pose bones: name=(location, XYZ rotation in degrees)."""
    for name, (loc, rot) in bones.items():
        pb = arm_ob.pose.bones[name]
        pb.location = loc
        pb.rotation_quaternion = deg(*rot).to_quaternion()
    bpy.context.view_layer.update()


# ---------------------------------------------------------------------------------------
# Geometry.  Meshes are designed in the space of their armature (so they follow it through
# every parent scale and rotation) and then written in their object's local space.

class Builder:
    """A bmesh plus the UV corners of every face, per UV layer."""

    def __init__(self):
        self.bm = bmesh.new()
        self.uvs = []            # per face: {layer: [uv per corner]}
        self.faces = []          # per face: (material index, smooth)

    def vert(self, co):
        return self.bm.verts.new(co)

    def face(self, verts, uvs, mat=0, smooth=True):
        self.bm.faces.new(verts)
        self.uvs.append(uvs)
        self.faces.append((mat, smooth))

    def tube(self, path, radii, sides, tile, start='fan', end='ngon', mat=0, cap_mat=None,
             smooth=True, flat_columns=(), split_quads=(), end_mat=None):
        """A tube through `path` with a ring of `sides` vertices at each point.

        UV layer 'UVMap' is a cylindrical unwrap into `tile` (u0, v0, width, height) with a
        seam where u wraps from 1 back to 0; caps are separate discs.  Caps: 'fan'
        (triangles around a centre vertex), 'ngon' (one polygon) or 'penta_tri' (a 6-sided
        ring split into a pentagon and a triangle).  flat_columns: side columns drawn flat;
        split_quads: (ring, column) quads drawn as two triangles.
        """
        u0, v0, tw, th = tile
        n = len(path)
        cap_mat = mat if cap_mat is None else cap_mat
        end_mat = cap_mat if end_mat is None else end_mat
        rings = []
        u_prev = None
        for i, p in enumerate(path):
            d = (path[min(i + 1, n - 1)] - path[max(i - 1, 0)]).normalized()
            if u_prev is None:
                ref = Vector((0, 0, 1)) if abs(d.z) < 0.9 else Vector((1, 0, 0))
                u = d.cross(ref).normalized()
            else:
                u = (u_prev - d * u_prev.dot(d)).normalized()
            w = d.cross(u)
            u_prev = u
            r = radii[i]
            rings.append([self.vert(p + r * (math.cos(a) * u + math.sin(a) * w))
                          for a in (2 * math.pi * k / sides for k in range(sides))])

        side_h = th * 0.7

        def side_uv(i, k):
            return (u0 + tw * k / sides, v0 + side_h * i / (n - 1))

        for i in range(n - 1):
            for k in range(sides):
                k1 = (k + 1) % sides
                quad = [rings[i][k], rings[i][k1], rings[i + 1][k1], rings[i + 1][k]]
                quv = [side_uv(i, k), side_uv(i, k + 1), side_uv(i + 1, k + 1), side_uv(i + 1, k)]
                flat = k in flat_columns
                if (i, k) in split_quads:
                    self.face(quad[:3], {'UVMap': quv[:3]}, mat, smooth and not flat)
                    self.face([quad[0], quad[2], quad[3]], {'UVMap': [quv[0], quv[2], quv[3]]}, mat,
                              smooth and not flat)
                else:
                    self.face(quad, {'UVMap': quv}, mat, smooth and not flat)

        disc_r = min(tw, th - side_h) * 0.25

        def disc_uv(k, cx):
            a = 2 * math.pi * k / sides
            return (cx + disc_r * math.cos(a), v0 + side_h + disc_r * 1.1 + disc_r * math.sin(a))

        for which, ring, kind, cx, m in (('start', rings[0], start, u0 + tw * 0.25, cap_mat),
                                         ('end', rings[-1], end, u0 + tw * 0.75, end_mat)):
            # Corners run counter-clockwise seen from outside: reversed at the start.
            order = list(range(sides)) if which == 'end' else list(reversed(range(sides)))
            if kind == 'ngon':
                self.face([ring[k] for k in order], {'UVMap': [disc_uv(k, cx) for k in order]}, m, False)
            elif kind == 'penta_tri':
                assert sides == 6
                pent, tri = order[0:5], [order[4], order[5], order[0]]
                self.face([ring[k] for k in pent], {'UVMap': [disc_uv(k, cx) for k in pent]}, m, False)
                self.face([ring[k] for k in tri], {'UVMap': [disc_uv(k, cx) for k in tri]}, mat, False)
            else:
                centre = self.vert(sum((v.co for v in ring), Vector()) / sides)
                cuv = (cx, v0 + side_h + disc_r * 1.1)
                for j in range(sides):
                    a, b = order[j], order[(j + 1) % sides]
                    self.face([centre, ring[a], ring[b]], {'UVMap': [cuv, disc_uv(a, cx), disc_uv(b, cx)]},
                              m, False)

    def planar_uvs(self, layer):
        """A front projection (x, z) over the mesh's extent: continuous, no seams."""
        cos = [v.co for v in self.bm.verts]
        lo = Vector((min(c.x for c in cos), 0, min(c.z for c in cos)))
        ext = max(max(c.x for c in cos) - lo.x, max(c.z for c in cos) - lo.z)
        for f, uvs in zip(self.bm.faces, self.uvs):
            uvs[layer] = [((v.co.x - lo.x) / ext, (v.co.z - lo.z) / ext) for v in f.verts]

    def per_face_uvs(self, layer):
        """Every face gets the whole square: each vertex has its own UV on each face."""
        for f, uvs in zip(self.bm.faces, self.uvs):
            n = len(f.verts)
            uvs[layer] = [(0.5 + 0.45 * math.cos(2 * math.pi * j / n + 0.3),
                           0.5 + 0.45 * math.sin(2 * math.pi * j / n + 0.3)) for j in range(n)]

    def design_points(self):
        return [v.co.copy() for v in self.bm.verts]

    def finish(self, name, design_to_world, matrix, parent=None, materials=(), layers=('UVMap',),
               auto_smooth=None, seams=False, parent_inverse=None):
        """Make the object: set its transform, then write the designed vertices in its local
        space so that their world positions are design_to_world @ design."""
        me = bpy.data.meshes.new(name)
        ob = link(bpy.data.objects.new(name, me))
        place(ob, matrix, parent, parent_inverse)
        to_local = ob.matrix_world.inverted() @ design_to_world
        for v in self.bm.verts:
            v.co = to_local @ v.co
        bm = self.bm
        bm.verts.index_update()
        bm.faces.index_update()
        uv_layers = [bm.loops.layers.uv.new(layer) for layer in layers]
        for f, uvs, (mat, smooth) in zip(bm.faces, self.uvs, self.faces):
            f.material_index = mat
            f.smooth = smooth
            for layer_name, layer in zip(layers, uv_layers):
                for loop, uv in zip(f.loops, uvs[layer_name]):
                    loop[layer].uv = uv
        if seams:
            # Mark the edges where a UV layer's corners disagree, as an unwrap seam would be.
            for e in bm.edges:
                for layer in uv_layers:
                    if any(len({tuple(round(c, 6) for c in l[layer].uv) for l in v.link_loops
                                if l.face in e.link_faces}) > 1 for v in e.verts):
                        e.seam = True
                        break
        bm.to_mesh(me)
        bm.free()
        for m in materials:
            me.materials.append(m)
        if auto_smooth is not None:
            me.use_auto_smooth = True
            me.auto_smooth_angle = math.radians(auto_smooth)
        me.validate()
        me.update()
        return ob


def seg_dist(p, a, b):
    ab = b - a
    t = max(0.0, min(1.0, (p - a).dot(ab) / ab.length_squared))
    return (a + ab * t - p).length


def auto_weights(points, bones, count=2, falloff=0.05):
    """Per point, the `count` nearest deform bones weighted by inverse squared distance,
    normalised to 1; `falloff` (armature units) keeps the weights finite on a bone."""
    deform = [b for b in bones if b['deform']]
    result = []
    for p in points:
        near = sorted((seg_dist(p, b['head'], b['tail']), b['name']) for b in deform)[:count]
        raw = [(name, 1.0 / (d + falloff) ** 2) for d, name in near]
        total = sum(w for _, w in raw)
        ws = [(name, w / total) for name, w in raw if w / total >= 0.05]
        total = sum(w for _, w in ws)
        result.append([(name, w / total) for name, w in ws])
    return result


def skin(ob, arm_ob, weights, extra_groups=None):
    """Vertex groups named after the bones plus an Armature modifier."""
    groups = {}
    for i, influences in enumerate(weights):
        for name, w in influences:
            vg = groups.get(name) or ob.vertex_groups.get(name) or ob.vertex_groups.new(name=name)
            groups[name] = vg
            vg.add([i], w, 'REPLACE')
    for name, entries in (extra_groups or {}).items():
        vg = ob.vertex_groups.new(name=name)
        for i, w in entries:
            vg.add([i], w, 'REPLACE')
    mod = ob.modifiers.new('Armature', 'ARMATURE')
    mod.object = arm_ob
    return ob


def path_with_midpoints(points, splits=2):
    out = []
    for a, b in zip(points, points[1:]):
        for j in range(splits):
            out.append(a.lerp(b, j / splits))
    out.append(points[-1])
    return out


def biped_parts(bones):
    """Tube paths through a biped's bones, and radii in metres (times the biped's scale)."""
    b = by_name(bones)
    torso = [b['hips']['head'], b['hips']['tail'], b['spine_01']['tail'], b['spine_02']['tail'],
             b['neck']['tail'], b['head']['tail']]
    torso = path_with_midpoints(torso)
    torso_r = [0.12, 0.13, 0.14, 0.15, 0.15, 0.16, 0.15, 0.10, 0.05, 0.09, 0.07]
    arms, legs = [], []
    for side in ('L', 'R'):
        hand = [n for n in b if n.startswith('hand') and n.endswith(side)][0]
        arms.append(path_with_midpoints([b['upper_arm_' + side]['head'], b['upper_arm_' + side]['tail'],
                                         b['lower_arm_' + side]['tail'], b[hand]['tail']]))
        legs.append(path_with_midpoints([b['thigh_' + side]['head'], b['thigh_' + side]['tail'],
                                         b['shin_' + side]['tail']]))
    arm_r = [0.05, 0.05, 0.045, 0.04, 0.035, 0.03, 0.02]
    leg_r = [0.07, 0.065, 0.055, 0.05, 0.04]
    return torso, torso_r, arms, arm_r, legs, leg_r


def biped_mesh(bones, s, parts=('torso', 'arms', 'legs')):
    """One Builder holding the chosen biped parts, each tube in its own UV tile."""
    torso, torso_r, arms, arm_r, legs, leg_r = biped_parts(bones)
    tubes = {
        'torso': [(torso, torso_r, 8, (0, 0.5, 0.5, 0.5))],
        'arms': [(arms[0], arm_r, 6, (0.5, 0.5, 0.25, 0.5)), (arms[1], arm_r, 6, (0.75, 0.5, 0.25, 0.5))],
        'legs': [(legs[0], leg_r, 6, (0, 0, 0.25, 0.5)), (legs[1], leg_r, 6, (0.25, 0, 0.25, 0.5))],
    }
    bld = Builder()
    for part in parts:
        for path, radii, sides, tile in tubes[part]:
            bld.tube(path, [r * s for r in radii], sides, tile, start='ngon', end='fan')
    return bld


def skinned_biped(name, arm_ob, bones, s, matrix, parent, parts=('torso', 'arms', 'legs'),
                  materials=None, parent_inverse=None):
    bld = biped_mesh(bones, s, parts)
    weights = auto_weights(bld.design_points(), bones, falloff=0.05 * s)
    mats = [material('Skin', (0.8, 0.6, 0.5))] if materials is None else materials
    ob = bld.finish(name, arm_ob.matrix_world, matrix, parent, mats, parent_inverse=parent_inverse)
    return skin(ob, arm_ob, weights)


# ---------------------------------------------------------------------------------------
# The rigs.  Each function builds one scene and returns nothing; its docstring says what
# it covers.

RIGS = []


def rig(fn):
    RIGS.append(fn)
    return fn


@rig
def parent_scale_001():
    """Armature under an empty scaled x0.01 (bones 100 times larger in armature space, as
    from a centimetre program); mesh parented to the armature with its own transform."""
    new_scene()
    s = 100.0
    root = add_empty('Root', trs((0.5, -0.25, 0), (0, 0, 0), 0.01))
    bones = biped(s)
    arm = add_armature('Rig', bones, trs((20, 10, 0), (0, 0, 15)), root)
    skinned_biped('Body', arm, bones, s, trs((0, 3, 1), (5, 0, -10), 1.0), arm)


@rig
def parent_scale_100():
    """Armature under an empty scaled x100 (bones 100 times smaller in armature space);
    the skinned mesh is parented to the empty."""
    new_scene()
    s = 0.01
    root = add_empty('Root', trs((0, 1, 0), (0, 0, 0), 100))
    bones = biped(s)
    arm = add_armature('Rig', bones, trs((0.002, 0, 0), (0, 0, -20)), root)
    skinned_biped('Body', arm, bones, s, trs((0.001, 0.002, 0), (0, 10, 0), 1.1), root)


@rig
def parent_rotated():
    """Armature under a rotated and translated empty, itself rotated and translated."""
    new_scene()
    root = add_empty('Root', trs((1.5, -2.0, 0.75), (20, -35, 60)))
    bones = biped()
    arm = add_armature('Rig', bones, trs((0.2, 0, 0.1), (0, 0, 90)), root)
    skinned_biped('Body', arm, bones, 1.0, trs((0.05, -0.1, 0), (0, -8, 12), 0.9), arm)


@rig
def centimetre_units():
    """Scene in centimetres (unit scale 0.01): the biped is 180 units tall."""
    new_scene(0.01, 'CENTIMETERS')
    s = 100.0
    bones = biped(s)
    arm = add_armature('Rig', bones, trs((25, -10, 0), (0, 0, 30)))
    skinned_biped('Body', arm, bones, s, trs((0, 0, 5), (0, 0, -5), (1, 1.1, 1)), arm)


@rig
def mesh_parents():
    """Three skinned meshes on one armature: one parented to the armature, one to an
    empty (with a parent inverse matrix, as interactive parenting leaves it), one at the
    root; each with its own translation, rotation and scale.  Non-deform control bones."""
    new_scene()
    bones = biped(control=True)
    arm = add_armature('Rig', bones, trs((0.5, 0.2, 0), (0, 0, 30)))
    skinned_biped('Torso', arm, bones, 1.0, trs((0.1, 0, 0.05), (10, 0, 5), 1.2), arm, parts=('torso',))
    holder = add_empty('Holder', trs((-0.3, 0.4, 0.2), (0, 0, -40), 0.5))
    # The parent inverse is the empty's world matrix at parenting time, as interactive
    # parenting (keep transform) leaves it.
    skinned_biped('Arms', arm, bones, 1.0, trs((0.05, 0, 0), (0, 15, 0), 2.0), holder, parts=('arms',),
                  parent_inverse=holder.matrix_world.inverted())
    skinned_biped('Legs', arm, bones, 1.0, trs((0, 0.1, -0.05), (0, 0, 12), (1.0, 0.9, 1.1)), None,
                  parts=('legs',))


@rig
def bones_scale_100():
    """Armature object scaled x100 and rotated; the skinned mesh sits at the root."""
    new_scene()
    s = 0.01
    bones = biped(s)
    arm = add_armature('Rig', bones, trs((0, 0, 0), (0, 0, 45), 100))
    skinned_biped('Body', arm, bones, s, trs((0.1, 0, 0), (0, 0, -10), 1.0), None)


@rig
def bones_nonuniform():
    """Armature object scaled (1, 2, 0.5): the rolled, tilted bones' world rest matrices
    are not rotations times a uniform scale.  The skinned mesh sits at the root."""
    new_scene()
    bones = biped()
    arm = add_armature('Rig', bones, trs((0.3, 0, 0), (0, 0, 20), (1, 2, 0.5)))
    skinned_biped('Body', arm, bones, 1.0, trs((0, 0.5, 0), (0, 0, 10), 1.0), None)


@rig
def posed():
    """A saved pose far from the rest pose (rotated and moved bones, including the
    non-deform root and IK bones); the armature is left in pose position."""
    new_scene()
    bones = biped(control=True)
    arm = add_armature('Rig', bones, trs((0, 0, 0), (0, 0, -15)))
    skinned_biped('Body', arm, bones, 1.0, trs((0, 0.02, 0), (0, 0, 4), 1.0), arm)
    arm.data.pose_position = 'POSE'
    pose(arm,
         root=((0.1, -0.05, 0), (0, 0, 10)),
         hips=((0, 0.04, -0.06), (8, 0, 5)),
         spine_02=((0, 0, 0), (-12, 6, 0)),
         head=((0, 0, 0), (0, 20, -15)),
         upper_arm_L=((0.02, 0, 0.01), (0, 40, -30)),
         lower_arm_R=((0, 0, 0), (55, 0, 10)),
         thigh_L=((0, 0, 0), (-30, 0, 5)),
         ik_foot_L=((0.05, 0.1, 0), (0, 0, 0)))


@rig
def uv_seams():
    """Three UV layers with different layouts: a cylindrical unwrap with a seam (the seam
    vertices carry u = 0 on one face and u = 1 on the next), a seamless front projection
    and one where every face has its own square.  Auto smooth on at 40 degrees; the mesh
    sits at the root, skinned through the modifier alone."""
    new_scene()
    pts = [Vector(p) for p in ((0, 0, 0.2), (0.05, 0.1, 0.55), (0.0, 0.3, 0.85), (-0.1, 0.55, 1.0))]
    bones = chain('tail', pts, (15, -40, 70))
    arm = add_armature('Rig', bones, trs((0, 0.5, 0.2), (0, 0, 25)))
    bld = Builder()
    bld.tube(path_with_midpoints(pts, 2), [0.12, 0.11, 0.10, 0.09, 0.08, 0.06, 0.04], 8, (0, 0, 1, 1),
             start='ngon', end='fan')
    bld.planar_uvs('Planar')
    bld.per_face_uvs('PerFace')
    weights = auto_weights(bld.design_points(), bones, count=3)
    ob = bld.finish('Tail', arm.matrix_world, trs((0.1, -0.2, 0.05), (0, 0, 30), 0.9), None,
                    [material('Skin', (0.8, 0.6, 0.5))], layers=('UVMap', 'Planar', 'PerFace'),
                    auto_smooth=40, seams=True)
    skin(ob, arm, weights)


@rig
def ngons_flat_smooth():
    """One mesh mixing 6-gons, 5-gons, quads and triangles, flat and smooth faces (auto
    smooth off) and three materials on different faces."""
    new_scene()
    pts = [Vector(p) for p in ((0, 0, 0), (0.03, 0.02, 0.4), (0.0, 0.08, 0.8), (-0.06, 0.1, 1.1))]
    bones = chain('col', pts, (20, -35, 55))
    arm = add_armature('Rig', bones, trs((-0.2, 0.1, 0), (0, 0, -30)))
    skin_m, cloth, metal = (material('Skin', (0.8, 0.6, 0.5)), material('Cloth', (0.2, 0.3, 0.7)),
                            material('Metal', (0.6, 0.6, 0.65)))
    bld = Builder()
    # Bottom cap: one hexagon (Cloth).  Top cap: a pentagon (Metal) and a triangle.  The
    # sides: quads, column 2 flat, two quads split into triangles (Metal, smooth).
    bld.tube(path_with_midpoints(pts, 2), [0.15, 0.15, 0.14, 0.13, 0.12, 0.11, 0.10], 6, (0, 0, 1, 1),
             start='ngon', end='penta_tri', mat=0, cap_mat=1, end_mat=2, flat_columns=(2,),
             split_quads=((2, 0), (3, 3)))
    weights = auto_weights(bld.design_points(), bones)
    ob = bld.finish('Column', arm.matrix_world, trs((0, 0, 0.02), (3, -4, 8), 1.0), arm,
                    [skin_m, cloth, metal])
    # Triangles: the smooth ones split from side quads take Metal, the flat one on the top cap Cloth.
    for poly in ob.data.polygons:
        if len(poly.vertices) == 3:
            poly.material_index = 2 if poly.use_smooth else 1
    skin(ob, arm, weights)


@rig
def influences():
    """Vertices with 1 to 8 influences, weight sums other than 1 (0.25 to about 1.7), a
    few weights stored as 0 and a vertex group that names no bone."""
    new_scene()
    pts = [Vector((0.25 * i, 0.05 * (-1) ** i, 0.08 * math.sin(i))) for i in range(9)]
    bones = chain('seg', pts, [20 * i - 70 for i in range(8)])
    arm = add_armature('Rig', bones, trs((0, 0, 0.5), (10, 0, 5)))
    bld = Builder()
    bm = bld.bm
    bmesh.ops.create_grid(bm, x_segments=10, y_segments=4, size=1.0)
    for v in bm.verts:
        v.co = Vector((1.0 + v.co.x * 1.1, v.co.y * 0.4, 0.0))
    for f in bm.faces:
        bld.uvs.append({})
        bld.faces.append((0, True))
    for uvs, f in zip(bld.uvs, bm.faces):
        uvs['UVMap'] = [((v.co.x + 0.1) / 2.3, (v.co.y + 0.4) / 0.8) for v in f.verts]
    design = bld.design_points()
    sums = (1.0, 0.6, 1.7, 1.0, 0.25, 1.35, 0.9)
    weights = []
    for i, p in enumerate(design):
        k = 1 + i % 8
        near = sorted((seg_dist(p, b['head'], b['tail']), b['name']) for b in bones)[:k]
        raw = [(name, 1.0 / (d + 0.05)) for d, name in near]
        total = sum(w for _, w in raw)
        target = sums[i % len(sums)]
        # A vertex group weight is at most 1 (Blender clamps); the truth reads back what is stored.
        weights.append([(name, min(1.0, target * w / total)) for name, w in raw])
    zeros = {i: bones[(i * 3) % 8]['name'] for i in range(0, len(design), 11)}
    ob = bld.finish('Sheet', arm.matrix_world, trs((0, 0.05, 0), (0, 0, 3), 1.0), arm,
                    [material('Cloth', (0.2, 0.3, 0.7))])
    skin(ob, arm, weights, extra_groups={'mask': [(i, 1.0) for i in range(0, len(design), 3)]})
    for i, name in zeros.items():
        if all(n != name for n, _ in weights[i]):
            ob.vertex_groups[name].add([i], 0.0, 'REPLACE')


@rig
def prop_two_meshes():
    """Two skinned meshes on one armature, an unskinned prop at the root with two
    materials, and a bone named 'hand.L' to show how each format treats a '.' in a name."""
    new_scene()
    bones = biped(hand_l='hand.L')
    arm = add_armature('Rig', bones, trs((0, 0, 0), (0, 0, 10)))
    skinned_biped('Body', arm, bones, 1.0, trs((0, 0, 0.01), (0, 0, -3), 1.0), arm, parts=('torso', 'legs'))
    skinned_biped('Arms', arm, bones, 1.0, trs((0.01, 0, 0), (2, 0, 0), 1.0), arm, parts=('arms',),
                  materials=[])
    # The prop: a subdivided cube stretched into a blade, held near the left hand.
    bld = Builder()
    bm = bld.bm
    bmesh.ops.create_cube(bm, size=1.0)
    bmesh.ops.subdivide_edges(bm, edges=bm.edges[:], cuts=1, use_grid_fill=True)
    for v in bm.verts:
        v.co = Vector((v.co.x * 0.04, v.co.y * 0.01, v.co.z * 0.8 + 0.4))
    for f in bm.faces:
        grip = f.calc_center_median().z < 0.3
        bld.uvs.append({})
        bld.faces.append((1 if grip else 0, False))
    bld.planar_uvs('UVMap')
    bld.finish('Sword', trs((0.8, -0.08, 1.02), (10, 70, -20)), trs((0.7, 0, 1.0), (0, 45, 0), 1.2), None,
               [material('Steel', (0.7, 0.7, 0.75)), material('Grip', (0.3, 0.15, 0.05))])


# ---------------------------------------------------------------------------------------
# Truth.

def num(x):
    v = float('%.7g' % x)
    return 0.0 if v == 0 else v


def vec(v):
    return [num(c) for c in v]


def mat_rows(m):
    return [[num(c) for c in row] for row in m]


def scaled(m, unit):
    m = m.copy()
    m.translation = m.translation * unit
    return m


def armature_of(ob):
    for mod in ob.modifiers:
        if mod.type == 'ARMATURE' and mod.object is not None:
            return mod.object
    return None


def truth(name):
    scene = bpy.context.scene
    bpy.context.view_layer.update()
    unit = scene.unit_settings.scale_length
    objects = sorted(scene.objects, key=lambda o: o.name)
    bones_out = []
    for arm in (o for o in objects if o.type == 'ARMATURE'):
        mw = arm.matrix_world
        for bone in arm.data.bones:
            bones_out.append({
                'name': bone.name,
                'parent': bone.parent.name if bone.parent else None,
                'armature': arm.name,
                'rest_world': mat_rows(scaled(mw @ bone.matrix_local, unit)),
                'pose_world': mat_rows(scaled(mw @ arm.pose.bones[bone.name].matrix, unit)),
                'head': vec(mw @ bone.head_local * unit),
                'tail': vec(mw @ bone.tail_local * unit),
                'deform': bone.use_deform,
            })
    meshes_out = []
    lo, hi = Vector((math.inf,) * 3), Vector((-math.inf,) * 3)
    for ob in (o for o in objects if o.type == 'MESH'):
        me = ob.data
        mw = ob.matrix_world
        normal_m = mw.to_3x3().inverted().transposed()
        arm = armature_of(ob)
        deform = {b.name for b in arm.data.bones if b.use_deform} if arm else set()
        group_names = {g.index: g.name for g in ob.vertex_groups}
        verts = []
        weights = []
        for v in me.vertices:
            p = mw @ v.co * unit
            lo = Vector(map(min, lo, p))
            hi = Vector(map(max, hi, p))
            verts.append(vec(p))
            weights.append({group_names[g.group]: num(g.weight) for g in v.groups
                            if group_names[g.group] in deform and g.weight != 0})
        me.calc_normals_split()
        polys = []
        for poly in me.polygons:
            slot = me.materials[poly.material_index] if poly.material_index < len(me.materials) else None
            loops = list(poly.loop_indices)
            polys.append({
                'vertices': list(poly.vertices),
                'material': slot.name if slot else None,
                'smooth': poly.use_smooth,
                'normals': [vec((normal_m @ me.loops[li].normal).normalized()) for li in loops],
                'uvs': {layer.name: [vec(layer.data[li].uv) for li in loops] for layer in me.uv_layers},
            })
        me.free_normals_split()
        meshes_out.append({
            'name': ob.name,
            'data_name': me.name,
            'parent': ob.parent.name if ob.parent else None,
            'skinned': arm is not None,
            'armature': arm.name if arm else None,
            'vertices': verts,
            'weights': weights,
            'polygons': polys,
            'uv_layers': [layer.name for layer in me.uv_layers],
            'materials': [m.name if m else None for m in me.materials],
        })
    return {
        'rig': name,
        'blender': bpy.app.version_string,
        'exporters': {'fbx': FBX_OPTIONS, 'glb': GLB_OPTIONS, 'dae': DAE_OPTIONS},
        'unit_scale': num(unit),
        'size': num((hi - lo).length),
        'bones': bones_out,
        'meshes': meshes_out,
    }


def check_scene(name):
    """Every deform bone of an armature influences some vertex of a mesh it skins."""
    for arm in (o for o in bpy.context.scene.objects if o.type == 'ARMATURE'):
        used = set()
        for ob in bpy.context.scene.objects:
            if ob.type == 'MESH' and armature_of(ob) == arm:
                names = {g.index: g.name for g in ob.vertex_groups}
                used |= {names[g.group] for v in ob.data.vertices for g in v.groups if g.weight > 0}
        unused = [b.name for b in arm.data.bones if b.use_deform and b.name not in used]
        if unused:
            raise RuntimeError('%s: deform bones without weights: %s' % (name, unused))


def main():
    argv = sys.argv[sys.argv.index('--') + 1:] if '--' in sys.argv else []
    if len(argv) != 1:
        raise SystemExit('usage: blender --background --factory-startup --python generate_rigs.py -- OUTDIR')
    outdir = os.path.abspath(argv[0])
    os.makedirs(outdir, exist_ok=True)
    started = time.time()
    for build in RIGS:
        name = build.__name__
        build()
        check_scene(name)
        data = truth(name)
        base = os.path.join(outdir, name)
        with open(base + '.truth.json', 'w') as f:
            json.dump(data, f, indent=None, separators=(',', ':'))
            f.write('\n')
        bpy.ops.export_scene.fbx(filepath=base + '.fbx', **FBX_OPTIONS)
        bpy.ops.export_scene.gltf(filepath=base + '.glb', **GLB_OPTIONS)
        bpy.ops.wm.collada_export(filepath=base + '.dae', **DAE_OPTIONS)
        print('generate_rigs: %s done' % name)
    print('generate_rigs: %d rigs in %.1f s' % (len(RIGS), time.time() - started))


main()
