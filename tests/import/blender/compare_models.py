"""Compares what `orvo-cli inspect --json` made of the same scene read from
different files: sub-objects with their vertex and face counts, centre,
attachment and user points, bounding objects, lights and materials, with
positions to a millimetre.

    python3 compare_models.py REFERENCE.json OTHER.json [--skinned]

Prints one line per difference; exits 1 when there is any.
"""
import json
import sys

TOLERANCE = 1e-3


def close(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def main():
    try:
        ref = json.load(open(sys.argv[1]))
        other = json.load(open(sys.argv[2]))
    except (OSError, ValueError) as e:
        print("%s: no model to compare (%s)" % (sys.argv[2], e))
        return 1
    skinned = "--skinned" in sys.argv
    problems = []

    def same(what, a, b):
        if a != b:
            problems.append("%s: %r, expected %r" % (what, b, a))

    if other.get("errors"):
        problems.append("the conversion logged errors: %s" % [l for l in other.get("log", []) if "ERROR" in l])
    same("sub-objects", [s["name"] for s in ref["subobjects"]], [s["name"] for s in other["subobjects"]])
    for a, b in zip(ref["subobjects"], other["subobjects"]):
        same(a["name"] + " faces", a["faces"], b["faces"])
        same(a["name"] + " vertices", a["verts"], b["verts"])
        same(a["name"] + " parent", a["parent"], b["parent"])
    for table in ("centers", "attach"):
        same(table, [p["name"] for p in ref[table]], [p["name"] for p in other[table]])
        if not skinned:
            for a, b in zip(ref[table], other[table]):
                if not close(a["pos"], b["pos"]):
                    problems.append("%s %s at %s, expected %s" % (table, a["name"], b["pos"], a["pos"]))
    same("user points", [(p["name"], p["kind"], p["subobject"]) for p in ref["userpoints"]],
         [(p["name"], p["kind"], p["subobject"]) for p in other["userpoints"]])
    for a, b in zip(ref["userpoints"], other["userpoints"]):
        if not close(a["pos"], b["pos"]):
            problems.append("user point %s at %s, expected %s" % (a["name"], b["pos"], a["pos"]))
    same("bounding objects", [(o["name"], o["type"], o["subobject"]) for o in ref["bounding"]],
         [(o["name"], o["type"], o["subobject"]) for o in other["bounding"]])
    for a, b in zip(ref["bounding"], other["bounding"]):
        for key in ("center", "min", "max"):
            if not close(a[key], b[key]):
                problems.append("bounding %s %s %s, expected %s" % (a["name"], key, b[key], a[key]))
    same("lights", [l["name"] for l in ref["lights"]], [l["name"] for l in other["lights"]])
    for a, b in zip(ref["lights"], other["lights"]):
        if not close(a["pos"], b["pos"]):
            problems.append("light %s at %s, expected %s" % (a["name"], b["pos"], a["pos"]))
    same("materials", [(m["description"], m["name"]) for m in ref["materials"]],
         [(m["description"], m["name"]) for m in other["materials"]])

    for p in problems:
        print(sys.argv[2] + ": " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
