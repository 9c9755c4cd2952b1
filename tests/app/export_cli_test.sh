#!/bin/sh
# Command-line checks of orvo-cli export: the sample level set exported (status
# texts, identical bytes twice, the JSON summary, the preview's level order),
# depfiles driving a real ninja build, a skinned export, and failures that
# leave the old file.
#
#   export_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-export-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

# The tank set with a 2 x 2 true-colour picture for its first texture.
mkdir -p "$TMP/set" "$TMP/a" "$TMP/b"
cp "$SRC"/samples/tank/* "$TMP/set/"
printf '\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\030\040' >"$TMP/set/hull_base.tga"
printf '\1\2\3\4\5\6\7\10\11\12\13\14' >>"$TMP/set/hull_base.tga"

run export "$TMP/set/tankh.3da" -o "$TMP/a/tank.3di"
expect_rc 0 "export the tank set"
expect_line "Exporting '$TMP/a/tank.3di'" "export status"
expect_line "Creating Strips..." "export status"
run export "$TMP/set/tankh.3da" -o "$TMP/b/tank.3di" --jobs 1
if cmp -s "$TMP/a/tank.3di" "$TMP/b/tank.3di"; then pass; else fail "two exports differ"; fi

run export "$TMP/set/tankh.3da" -o "$TMP/a/tank.3di" --json
expect_rc 0 "export --json"
python3 - "$TMP/out" >"$TMP/py" 2>&1 <<'PY'
import json, sys
j = json.load(open(sys.argv[1]))
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
check(j["kind"] == "M" and j["lod_count"] == 4, "kind M, four LODs")
check(all(l["indices"] > 0 and l["triangles"] > 0 for l in j["lods"]), "every LOD has strips")
tex = {t["first_name"]: t for t in j["textures"]}
check(tex.get("hull_base.tga", {}).get("width") == 2, "the picture's size in the texture table")
check(any(i.endswith("tankm.ase") for i in j["inputs"]) and any(i.endswith("hull_base.tga") for i in j["inputs"]),
      "inputs name scenes and pictures")
check("strips" in j["seconds"] and j["seconds"]["total"] >= 0, "stage timings")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"

# The preview's order: level 2 first, its threshold written as 0.
run export "$TMP/set/tankh.3da" -o "$TMP/a/view.3di" --view-lod 2
expect_rc 0 "export --view-lod 2"
if [ "$(od -An -tx1 -j32 -N4 "$TMP/a/view.3di" | tr -d ' ')" = "00000000" ]; then pass; else
  fail "--view-lod 2 writes the viewed level's distance as 0"
fi

# Depfiles: ninja re-exports when a picture changes, and not otherwise.
if command -v ninja >/dev/null 2>&1; then
  cat >"$TMP/build.ninja" <<NINJA
rule export
  command = $CLI export \$in -o \$out --depfile \$out.d > /dev/null
  depfile = \$out.d
  deps = gcc
build $TMP/n/tank.3di: export $TMP/set/tankh.3da
NINJA
  mkdir -p "$TMP/n"
  (cd "$TMP" && ninja >"$TMP/ninja1" 2>&1)
  if grep -q "export" "$TMP/ninja1" && [ -f "$TMP/n/tank.3di" ]; then pass; else fail "ninja ran the export"; cat "$TMP/ninja1"; fi
  (cd "$TMP" && ninja >"$TMP/ninja2" 2>&1)
  if grep -q "no work to do" "$TMP/ninja2"; then pass; else fail "ninja again: nothing to do"; cat "$TMP/ninja2"; fi
  sleep 1
  touch "$TMP/set/hull_base.tga"
  (cd "$TMP" && ninja >"$TMP/ninja3" 2>&1)
  if grep -q "export" "$TMP/ninja3"; then pass; else fail "ninja after touching a picture re-exports"; cat "$TMP/ninja3"; fi
  touch "$TMP/set/tankl.asc"
  (cd "$TMP" && ninja >"$TMP/ninja4" 2>&1)
  if grep -q "export" "$TMP/ninja4"; then pass; else fail "ninja after touching a scene re-exports"; fi
fi

# A skinned export: the soldier with the skinned attribute.
cp "$SRC/samples/soldier.ase" "$TMP/set/soldierh.ase"
"$CLI" import "$TMP/set/soldierh.ase" -o "$TMP/set/soldierh.3da" >/dev/null 2>&1
sed 's/^  attributes: 1$/  attributes: 5/' "$TMP/set/soldierh.3da" >"$TMP/set/s.tmp" && mv "$TMP/set/s.tmp" "$TMP/set/soldierh.3da"
run export "$TMP/set/soldierh.3da" -o "$TMP/a/soldier.3di" --single
expect_rc 0 "export the skinned soldier"
if [ "$(od -An -c -j2 -N1 "$TMP/a/soldier.3di" | tr -d ' ')" = "P" ]; then pass; else fail "soldier is kind P"; fi

# The real scenes of the corpus, renamed to the naming conventions (every
# node a part of sub-object 01): each exports, and the same bytes twice.
CORPUS=$SRC/../shared/corpus/ase
if [ -d "$CORPUS" ]; then
  mkdir -p "$TMP/corpus"
  for scene in "$CORPUS"/*.ASE "$CORPUS"/*.ase; do
    [ -f "$scene" ] || continue
    grep -q '\*GEOMOBJECT' "$scene" || continue
    name=$(basename "$scene" | tr 'A-Z.' 'a-z_')
    sed 's/\*NODE_NAME "/*NODE_NAME "01 /' "$scene" >"$TMP/corpus/${name}h.ase"
    "$CLI" import "$TMP/corpus/${name}h.ase" -o "$TMP/corpus/${name}h.3da" >/dev/null 2>&1
    [ -f "$TMP/corpus/${name}h.3da" ] || continue
    run export "$TMP/corpus/${name}h.3da" -o "$TMP/corpus/$name.3di" --single
    if [ "$rc" -eq 0 ] || [ "$rc" -eq 3 ]; then pass; else fail "corpus $name exports (exit $rc)"; show_output; fi
    cp "$TMP/corpus/$name.3di" "$TMP/corpus/first.3di" 2>/dev/null
    run export "$TMP/corpus/${name}h.3da" -o "$TMP/corpus/$name.3di" --single
    if cmp -s "$TMP/corpus/$name.3di" "$TMP/corpus/first.3di"; then pass; else fail "corpus $name: two exports differ"; fi
  done
fi

# PFF archives: pack, list, extract give back the same bytes.
run pff pack "$TMP/set/t.pff" "$TMP/set/tankh.3da" "$TMP/set/tankl.asc"
expect_rc 0 "pff pack"
run pff list "$TMP/set/t.pff"
expect_match "TANKH.3DA" out "pff list names the entries"
mkdir -p "$TMP/x"
run pff extract "$TMP/set/t.pff" -o "$TMP/x"
if cmp -s "$TMP/x/TANKL.ASC" "$TMP/set/tankl.asc"; then pass; else fail "pff extract gives the packed bytes"; fi
run pff list "$TMP/set/tankh.3da"
expect_rc 1 "pff list of no archive"
expect_stderr "not a PFF archive" "pff list of no archive"

# Pictures that cannot be read: one warning line each on stderr naming the
# picture, its material, the folder looked in and the reason; the same lines
# are the JSON summary's warnings.
mkdir -p "$TMP/pics"
printf 'junk' >"$TMP/pics/TRACKS.TGA"
run export "$TMP/set/tankh.3da" -o "$TMP/a/pics.3di" --textures "$TMP/pics" --json
expect_rc 0 "export with pictures missing"
expect_stderr "orvo-cli: warning: texture \"tracks.tga\" of material \"tracks.tga\": not read from $TMP/pics: byte 4: " \
  "a damaged picture is named with the reader's reason"
expect_stderr "orvo-cli: warning: texture \"lamp_a.tga\" of material \"lamp.tga\": not read from $TMP/pics: no such file" \
  "a missing alpha picture is named with its material"
n=$(grep -c "^orvo-cli: warning: texture " "$TMP/err")
if [ "$n" -eq 7 ]; then pass; else fail "one warning per picture: $n lines, expected 7"; show_output; fi
python3 - "$TMP/out" "$TMP/err" >"$TMP/py" 2>&1 <<'PY'
import json, sys
j = json.load(open(sys.argv[1]))
err = [l[len("orvo-cli: warning: "):] for l in open(sys.argv[2]).read().splitlines() if l.startswith("orvo-cli: warning: texture ")]
print(("PASS " if all(w in j["warnings"] for w in err) and err else "FAIL ") + "the JSON warnings hold the picture lines")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"

# A part the collision model cannot index: the reason under the message's
# words.
python3 - "$TMP/bumpy/bumpyh.asc" <<'PY'
import os, random, sys
random.seed(1)
n = 190  # more face normals than a collision face's 16-bit index can name
os.makedirs(os.path.dirname(sys.argv[1]), exist_ok=True)
faces = []
for y in range(n - 1):
    for x in range(n - 1):
        a = y * n + x
        faces += [(a, a + 1, a + n + 1), (a + n + 1, a + n, a)]
with open(sys.argv[1], "w") as f:
    f.write('Named object: "01 Bumpy"\nTri-mesh, Vertices: %d     Faces: %d\nVertex list:\n' % (n * n, len(faces)))
    for i in range(n * n):
        f.write("Vertex %d:  X: %d.0     Y: %d.0     Z: %.6f\n" % (i, i % n, i // n, random.random() * 3))
    f.write("Face list:\n")
    for k, (a, b, c) in enumerate(faces):
        f.write('Face %d:    A:%d B:%d C:%d AB:1 BC:1 CA:1\nMaterial:"ROCK"\nSmoothing:  0\n' % (k, a, b, c))
PY
run import "$TMP/bumpy/bumpyh.asc" -o "$TMP/bumpy/bumpyh.3da"
run export "$TMP/bumpy/bumpyh.3da" -o "$TMP/a/bumpy.3di" --single
expect_rc 1 "a part with too many normals"
expect_stderr "Unable to export file" "a part with too many normals"
expect_stderr "orvo-cli: $TMP/a/bumpy.3di: sub-object 01 \"01 Bumpy\" has more normals than a collision face can index" \
  "a part with too many normals: the file and the reason"

# Failures: nothing written, the old file kept.
printf 'old' >"$TMP/a/keep.3di"
run export "$TMP/set/tankh.3da" -o "$TMP/missing/x.3di"
expect_rc 1 "export into a missing folder"
expect_stderr "Unable to export file" "export into a missing folder"
expect_stderr "$TMP/missing/x.3di" "export into a missing folder names the file"
run export "$TMP/set/nothing.3da" -o "$TMP/a/keep.3di"
expect_rc 1 "export of a set that is not there"
if [ "$(cat "$TMP/a/keep.3di")" = "old" ]; then pass; else fail "the old file is kept"; fi
run export "$TMP/set/tankh.3da" -o "$TMP/a/x.3di" --view-lod 4
expect_rc 2 "--view-lod 4"

finish
