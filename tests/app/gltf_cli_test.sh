#!/bin/sh
# Command-line checks of orvo-cli dump --gltf: the sample tank set and the
# skinned soldier exported, converted to binary glTF and checked by Khronos'
# validator (no errors), their counts held against dump --json, the faces
# facing the way their normals do, pictures that cannot be read, and a
# failed write that leaves the old file.
#
#   gltf_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2
VALIDATE=$SRC/tests/gltf/validate.mjs

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-gltf-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

if ! command -v node >/dev/null 2>&1 || [ ! -f "$SRC/tests/gltf/node_modules/gltf-validator/package.json" ]; then
  echo "the glTF validator is not installed: run scripts/bootstrap (npm ci --prefix tests/gltf)"
  exit 1
fi

# validate NAME: runs the validator on $TMP/NAME.glb, its report in
# $TMP/NAME.report and its summary of the asset in $TMP/NAME.info.
validate() {
  node "$VALIDATE" "$TMP/$1.glb" --info "$TMP/$1.info" >"$TMP/$1.report" 2>&1
  vrc=$?
  if [ "$vrc" -eq 0 ]; then pass; else
    fail "$1.glb: the validator reports errors (exit $vrc)"
    grep -v '^info\|^hint' "$TMP/$1.report" | head -n 20 | sed 's/^/    | /'
  fi
  # Warnings are none.
  if grep -q '^warning ' "$TMP/$1.report"; then
    fail "$1.glb: validator warnings"
    grep '^warning ' "$TMP/$1.report" | head -n 5 | sed 's/^/    | /'
  else pass; fi
}

# compare NAME: the GLB against dump --json of its 3DI file ($TMP/NAME.dump)
# and the validator's asset summary: one scene per level, the level's node,
# every part a node (plus one node per skinned level), one mesh per part
# with triangles, one material per material of every level, and the
# triangles the levels draw; every triangle faces the side its vertex
# normals point to.
compare() {
  python3 - "$TMP/$1.glb" "$TMP/$1.dump" "$TMP/$1.info" >"$TMP/py" 2>&1 <<'PY'
import json, struct, sys
data = open(sys.argv[1], "rb").read()
dump = json.load(open(sys.argv[2]))
info = json.load(open(sys.argv[3]))
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
magic, version, length = struct.unpack_from("<4sII", data, 0)
check(magic == b"glTF" and version == 2 and length == len(data), "GLB header")
jlen = struct.unpack_from("<I", data, 12)[0]
doc = json.loads(data[20:20 + jlen])
blob = data[20 + jlen + 8:]
lods = dump["lods"]
check(len(doc["scenes"]) == len(lods) and doc["scene"] == 0, "one scene per level, level 0 the default")
skinned = sum(1 for l in lods if l["skinned"])
parts = sum(len(l["parts"]) for l in lods)
check(len(doc["nodes"]) == len(lods) + parts + skinned,
      "nodes: %d for %d levels, %d parts, %d skins" % (len(doc["nodes"]), len(lods), parts, skinned))
meshes = sum(1 if l["skinned"] else sum(1 for p in l["parts"] if p["levels"] and any(
    s["indices"] >= 3 for s in p["levels"][0]["strips"])) for l in lods)
check(len(doc.get("meshes", [])) == meshes, "meshes: %d, expected %d" % (len(doc.get("meshes", [])), meshes))
materials = sum(len(l["materials"]) for l in lods)
check(len(doc.get("materials", [])) == materials, "materials: one per material of every level")
check(info["materialCount"] == materials, "the validator counts the same materials")
triangles = sum(l["triangles"] for l in lods)
check(info["totalTriangleCount"] == triangles,
      "triangles: the validator counts %d, dump --json %d" % (info["totalTriangleCount"], triangles))
check(info["hasSkins"] == (skinned > 0), "skins where the levels are skinned")
# Each level's scene holds its own node first.
for k, s in enumerate(doc["scenes"]):
    check(doc["nodes"][s["nodes"][0]]["name"].endswith("LOD %d" % k), "scene %d shows level %d" % (k, k))

def accessor(i):
    a = doc["accessors"][i]; v = doc["bufferViews"][a["bufferView"]]
    n = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}[a["type"]]
    f = {5126: "f", 5123: "H", 5125: "I", 5121: "B"}[a["componentType"]]
    vals = struct.unpack_from("<%d%s" % (a["count"] * n, f), blob, v["byteOffset"])
    return [vals[k * n:(k + 1) * n] for k in range(a["count"])]
agree = total = 0
for m in doc.get("meshes", []):
    for p in m["primitives"]:
        P = accessor(p["attributes"]["POSITION"]); N = accessor(p["attributes"]["NORMAL"])
        I = [i[0] for i in accessor(p["indices"])]
        for t in range(0, len(I), 3):
            a, b, c = P[I[t]], P[I[t + 1]], P[I[t + 2]]
            u = [b[k] - a[k] for k in range(3)]; w = [c[k] - a[k] for k in range(3)]
            f = (u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0])
            n = [sum(N[I[t + j]][k] for j in range(3)) for k in range(3)]
            total += 1
            agree += sum(f[k] * n[k] for k in range(3)) > 0
check(total > 0 and agree >= 0.95 * total, "front faces face their normals: %d of %d" % (agree, total))
PY
  while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "$1: ${line#FAIL }" ;; esac; done <"$TMP/py"
}

# The tank set with its pictures.
mkdir -p "$TMP/set"
cp "$SRC"/samples/tank/* "$TMP/set/"
"$CLI" export "$TMP/set/tankh.3da" -o "$TMP/tank.3di" --textures "$SRC/samples/textures" >/dev/null 2>&1
"$CLI" dump "$TMP/tank.3di" --json >"$TMP/tank.dump" 2>/dev/null
run dump "$TMP/tank.3di" --gltf "$TMP/tank.glb" --textures "$SRC/samples/textures"
expect_rc 0 "dump --gltf of the tank"
expect_match "^$TMP/tank.glb: 4 levels, [0-9]+ nodes, [0-9]+ meshes, 12 materials, 6 pictures, [0-9]+ triangles" out \
  "the summary line"
if [ -s "$TMP/err" ]; then fail "no warnings with every picture there"; show_output; else pass; fi
validate tank
compare tank
python3 - "$TMP/tank.glb" >"$TMP/py" 2>&1 <<'PY'
import json, struct, sys
data = open(sys.argv[1], "rb").read()
doc = json.loads(data[20:20 + struct.unpack_from("<I", data, 12)[0]])
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
images = doc.get("images", [])
check(len(images) == 6 and all(i["mimeType"] == "image/png" for i in images), "six pictures embedded as PNG")
textured = [m for m in doc["materials"] if "baseColorTexture" in m["pbrMetallicRoughness"]]
check(len(textured) >= 6, "the tank's materials show their pictures")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"

# --json: the summary as an object, its counts those of the file.
run dump "$TMP/tank.3di" --gltf "$TMP/tank2.glb" --textures "$SRC/samples/textures" --json
expect_rc 0 "dump --gltf --json"
python3 - "$TMP/out" "$TMP/tank.dump" >"$TMP/py" 2>&1 <<'PY'
import json, sys
j = json.load(open(sys.argv[1])); d = json.load(open(sys.argv[2]))
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
check(j["materials"] == 12 and j["images"] == 6 and j["warnings"] == [], "the JSON summary's counts")
check([l["triangles"] for l in j["lods"]] == [l["triangles"] for l in d["lods"]], "triangles per level")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"
if cmp -s "$TMP/tank.glb" "$TMP/tank2.glb"; then pass; else fail "two conversions give different bytes"; fi

# The skinned soldier: a skin whose joints are the parts.
cp "$SRC/samples/soldier.ase" "$TMP/set/soldierh.ase"
"$CLI" import "$TMP/set/soldierh.ase" -o "$TMP/set/soldierh.3da" >/dev/null 2>&1
sed 's/^  attributes: 1$/  attributes: 5/' "$TMP/set/soldierh.3da" >"$TMP/set/s.tmp" && mv "$TMP/set/s.tmp" "$TMP/set/soldierh.3da"
"$CLI" export "$TMP/set/soldierh.3da" -o "$TMP/soldier.3di" --single >/dev/null 2>&1
"$CLI" dump "$TMP/soldier.3di" --json >"$TMP/soldier.dump" 2>/dev/null
run dump "$TMP/soldier.3di" --gltf "$TMP/soldier.glb" --textures "$SRC/samples/textures"
expect_rc 0 "dump --gltf of the skinned soldier"
validate soldier
compare soldier
expect_match '"maxInfluences": [1-4]' soldier.info "the soldier's vertices have bone weights"

# Pictures that cannot be read: one warning each, the material without a
# texture, the file still written and valid.
mkdir -p "$TMP/pics"
cp "$SRC"/samples/textures/*.tga "$TMP/pics/"
printf 'junk' >"$TMP/pics/tracks.tga"
rm "$TMP/pics/turret.tga"
run dump "$TMP/tank.3di" --gltf "$TMP/pics.glb" --textures "$TMP/pics"
expect_rc 0 "dump --gltf with pictures missing"
expect_stderr "orvo-cli: warning: texture \"tracks.tga\" of material \"tracks.tga\": not read: $TMP/pics/tracks.tga: byte 4: " \
  "a damaged picture is named with its material and the reader's reason"
expect_stderr "orvo-cli: warning: texture \"turret.tga\" of material \"turret.tga\": not read: turret.tga: no such file in $TMP/pics" \
  "a missing picture is named with the folder"
n=$(grep -c "^orvo-cli: warning: " "$TMP/err")
if [ "$n" -eq 2 ]; then pass; else fail "one warning per picture: $n lines, expected 2"; show_output; fi
expect_match "4 pictures" out "the pictures that read are embedded"
validate pics

# A write past the file-size limit fails like a full disk: exit 1, the file
# named, the old file kept, no temporary file left (the GLB is larger than
# the 2 to 4 KiB limit).
mkdir "$TMP/limit"
printf 'old' >"$TMP/limit/keep.glb"
(
  ulimit -f 4 2>/dev/null || exit 99
  exec "$CLI" dump "$TMP/tank.3di" --gltf "$TMP/limit/keep.glb" --textures "$SRC/samples/textures" \
    >/dev/null 2>"$TMP/err"
)
rc=$?
if [ "$rc" -eq 99 ]; then
  echo "SKIP: ulimit -f is not available"
else
  expect_rc 1 "dump --gltf under a file-size limit"
  expect_stderr "$TMP/limit/keep.glb" "the failed write names the file"
  if [ "$(cat "$TMP/limit/keep.glb")" = "old" ]; then pass; else fail "the old file is kept"; fi
  expect_no_temp_files "$TMP/limit" "dump --gltf under a file-size limit"
fi
run dump "$TMP/missing.3di" --gltf "$TMP/m.glb"
expect_rc 1 "a model that is not there"
if [ ! -e "$TMP/m.glb" ]; then pass; else fail "nothing written for a model that is not there"; fi
run dump "$TMP/tank.3di" --gltf "$TMP/nofolder/x.glb"
expect_rc 1 "a folder that is not there"
expect_stderr "$TMP/nofolder/x.glb" "the failed write names the file"
run dump "$TMP/tank.3di" --gltf
expect_rc 2 "--gltf without a file"

finish
