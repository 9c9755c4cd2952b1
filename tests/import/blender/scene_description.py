"""One small scene that follows the model tool's naming conventions, written
three ways: built in Blender and saved by its own glTF and FBX exporters
(make_blender_scenes.py) and written by hand as a 3ds Max ASCII export
(write_ase.py). Importing any of them must give the same model.

Coordinates are world coordinates in metres, Z up (Blender's and 3ds Max's
convention alike); faces are triangles with one UV per corner.
"""


def box(cx, cy, cz, sx, sy, sz):
    """Eight corners and twelve outward-facing triangles of a box, with the
    UVs of each face's quad."""
    hx, hy, hz = sx / 2, sy / 2, sz / 2
    verts = [(cx + dx * hx, cy + dy * hy, cz + dz * hz)
             for dz in (-1, 1) for dy in (-1, 1) for dx in (-1, 1)]
    quads = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
    faces, uvs = [], []
    for a, b, c, d in quads:
        faces += [(a, b, c), (a, c, d)]
        uvs += [((0, 0), (1, 0), (1, 1)), ((0, 0), (1, 1), (0, 1))]
    return verts, faces, uvs


def marker(x, y, z, r=0.05):
    """A tiny tetrahedron whose corners average to (x, y, z): how a point is
    drawn as a mesh in either package."""
    verts = [(x + r, y + r, z + r), (x - r, y - r, z + r), (x - r, y + r, z - r), (x + r, y - r, z - r)]
    faces = [(0, 1, 2), (0, 3, 1), (0, 2, 3), (1, 3, 2)]
    uvs = [((0, 0), (1, 0), (0, 1))] * 4
    return verts, faces, uvs


MATERIALS = [
    {"name": "Hull", "texture": "hull.png", "colour": (0.35, 0.40, 0.25)},
    {"name": "Turret", "texture": "turret.png", "colour": (0.30, 0.35, 0.20)},
]

# name, geometry, material index
MESHES = [
    ("01 Hull", box(0.0, 0.0, 0.5, 3.0, 5.0, 1.0), 0),
    ("02 Turret", box(0.0, -0.5, 1.4, 1.6, 2.0, 0.8), 1),
    ("02 Gun", box(0.0, 1.5, 1.5, 0.2, 2.0, 0.2), 1),
    ("_01 Center", marker(0.0, 0.0, 0.0), 0),
    ("_02 Center", marker(0.0, -0.5, 1.0), 0),
    ("~02 TurretMount", marker(0.0, -0.5, 1.0), 0),
    ("CB01 Body", box(0.0, 0.0, 0.5, 3.2, 5.2, 1.2), 0),
    ("UPA02 Muzzle", marker(0.0, 2.5, 1.5), 1),
]

# A helper without geometry (an empty in Blender, a dummy in 3ds Max).
HELPERS = [("!Root", (0.0, 0.0, 0.0))]

# Point lights: name, position, colour.
LIGHTS = [("LP1 Headlight", (0.8, 2.6, 0.8), (1.0, 0.9, 0.7))]

# The skinned variant: a two-bone chain and one body mesh bound to it.
BONES = [
    # name, head, tail, parent
    ("Bip01 Pelvis", (0.0, 0.0, 0.8), (0.0, 0.0, 1.2), None),
    ("Bip01 Spine", (0.0, 0.0, 1.2), (0.0, 0.0, 1.8), "Bip01 Pelvis"),
]
SKINNED_BODY = ("01 Body", box(0.0, 0.0, 1.2, 0.6, 0.4, 1.2), 0)


def body_weights(verts):
    """Lower corners follow the pelvis, upper ones the spine."""
    return [[("Bip01 Pelvis", 1.0)] if z < 1.2 else [("Bip01 Spine", 0.75), ("Bip01 Pelvis", 0.25)]
            for (_, _, z) in verts]
