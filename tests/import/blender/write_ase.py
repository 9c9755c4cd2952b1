"""Writes the scene of scene_description.py as a 3ds Max ASCII export, the
way 3ds Max would have written it: rigid.ase and skinned.ase.

    python3 write_ase.py OUT_DIR
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scene_description as sd  # noqa: E402


def f(x):
    return "%.4f" % x


def node_tm(name, position):
    x, y, z = position
    return ["\t*NODE_TM {", '\t\t*NODE_NAME "%s"' % name, "\t\t*TM_ROW0 1.0000\t0.0000\t0.0000",
            "\t\t*TM_ROW1 0.0000\t1.0000\t0.0000", "\t\t*TM_ROW2 0.0000\t0.0000\t1.0000",
            "\t\t*TM_ROW3 %s\t%s\t%s" % (f(x), f(y), f(z)), "\t\t*TM_POS %s\t%s\t%s" % (f(x), f(y), f(z)), "\t}"]


def material_list():
    out = ["*MATERIAL_LIST {", "\t*MATERIAL_COUNT %d" % len(sd.MATERIALS)]
    for i, m in enumerate(sd.MATERIALS):
        r, g, b = m["colour"]
        out += ["\t*MATERIAL %d {" % i, '\t\t*MATERIAL_NAME "%s"' % m["name"], '\t\t*MATERIAL_CLASS "Standard"',
                "\t\t*MATERIAL_DIFFUSE %s\t%s\t%s" % (f(r), f(g), f(b)), "\t\t*MAP_DIFFUSE {",
                '\t\t\t*MAP_CLASS "Bitmap"', '\t\t\t*BITMAP "C:\\maps\\%s"' % m["texture"], "\t\t}", "\t}"]
    return out + ["}"]


def mesh_object(name, geometry, material, bone=None, weights=None, bone_numbers=None):
    verts, faces, uvs = geometry
    centre = [sum(v[i] for v in verts) / len(verts) for i in range(3)]
    out = ["*GEOMOBJECT {", '\t*NODE_NAME "%s"' % name] + node_tm(name, centre)
    out += ["\t*MESH {", "\t\t*TIMEVALUE 0", "\t\t*MESH_NUMVERTEX %d" % len(verts),
            "\t\t*MESH_NUMFACES %d" % len(faces), "\t\t*MESH_VERTEX_LIST {"]
    out += ["\t\t\t*MESH_VERTEX %d\t%s\t%s\t%s" % (i, f(x), f(y), f(z)) for i, (x, y, z) in enumerate(verts)]
    out += ["\t\t}", "\t\t*MESH_FACE_LIST {"]
    out += ["\t\t\t*MESH_FACE %d:    A: %d B: %d C: %d AB: 1 BC: 1 CA: 0\t *MESH_SMOOTHING 0 \t*MESH_MTLID 0"
            % (i, a, b, c) for i, (a, b, c) in enumerate(faces)]
    out += ["\t\t}", "\t\t*MESH_NUMTVERTEX %d" % (3 * len(faces)), "\t\t*MESH_TVERTLIST {"]
    corners = [uv for face in uvs for uv in face]
    out += ["\t\t\t*MESH_TVERT %d\t%s\t%s\t0.0000" % (i, f(u), f(v)) for i, (u, v) in enumerate(corners)]
    out += ["\t\t}", "\t\t*MESH_NUMTVFACES %d" % len(faces), "\t\t*MESH_TFACELIST {"]
    out += ["\t\t\t*MESH_TFACE %d\t%d\t%d\t%d" % (i, 3 * i, 3 * i + 1, 3 * i + 2) for i in range(len(faces))]
    out += ["\t\t}"]
    if weights is not None:
        out += ["\t\t*MESH_WEIGHTS {"]
        for i, w in enumerate(weights):
            bones = [bone_numbers[n] for n, _ in w] + [-1] * (4 - len(w))
            amounts = [a for _, a in w] + [0.0] * (4 - len(w))
            out.append("\t\t\t*MESH_WEIGHTSVERTEX %d\t%s\t%s" % (i, "\t".join(str(b) for b in bones),
                                                                 "\t".join(f(a) for a in amounts)))
        out += ["\t\t}"]
    out += ["\t}", "\t*MATERIAL_REF %d" % material, "}"]
    return out


def helper_object(name, position, parent=None, bone=None):
    out = ["*HELPEROBJECT {", '\t*NODE_NAME "%s"' % name]
    if parent:
        out.append('\t*NODE_PARENT "%s"' % parent)
    if bone is not None:
        out.append("\t*NODE_BONENUMBER %d" % bone)
    out += ['\t*HELPER_CLASS "Dummy"'] + node_tm(name, position) + ["}"]
    return out


def light_object(name, position, colour):
    r, g, b = colour
    return (["*LIGHTOBJECT {", '\t*NODE_NAME "%s"' % name, "\t*LIGHT_TYPE Omni"] + node_tm(name, position) +
            ["\t*LIGHT_SETTINGS {", "\t\t*TIMEVALUE 0", "\t\t*LIGHT_COLOR %s\t%s\t%s" % (f(r), f(g), f(b)),
             "\t\t*LIGHT_INTENS 1.0000", "\t\t*LIGHT_ATTNSTART 0.0000", "\t\t*LIGHT_ATTNEND 10.0000", "\t}", "}"])


def header(name):
    return ["*3DSMAX_ASCIIEXPORT\t200", '*COMMENT "written by write_ase.py"', "*SCENE {",
            '\t*SCENE_FILENAME "%s.max"' % name, "}"]


def write(path, lines):
    with open(path, "w", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    lines = header("rigid") + material_list()
    for name, geometry, material in sd.MESHES:
        lines += mesh_object(name, geometry, material)
    for name, position in sd.HELPERS:
        lines += helper_object(name, position)
    for name, position, colour in sd.LIGHTS:
        lines += light_object(name, position, colour)
    write(os.path.join(out, "rigid.ase"), lines)

    numbers = {name: i for i, (name, _, _, _) in enumerate(sd.BONES)}
    lines = header("skinned") + material_list()
    for name, head, _, parent in sd.BONES:
        lines += helper_object(name, head, parent, numbers[name])
    name, geometry, material = sd.SKINNED_BODY
    lines += mesh_object(name, geometry, material, weights=sd.body_weights(geometry[0]), bone_numbers=numbers)
    write(os.path.join(out, "skinned.ase"), lines)


if __name__ == "__main__":
    main()
