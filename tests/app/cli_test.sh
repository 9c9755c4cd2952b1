#!/bin/sh
# Command-line checks of orvo-cli: usage and exit codes, unreadable input,
# and the full import of the bundled vehicle scene (log, report and JSON).
#
#   cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR
#
# The real-world corpus is looked for beside the checkout
# (SOURCE_DIR/../shared/corpus/ase); its checks are skipped when it is absent.

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$1
SRC=$2
SAMPLE=$SRC/samples/vehicle.ase
CORPUS=$SRC/../shared/corpus/ase

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-cli-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

# python_checks SCRIPT ARGS...: each "PASS ..." / "FAIL ..." line the script
# prints counts as one check; a script that dies counts as one failure.
python_checks() {
  script=$1
  shift
  python3 -c "$script" "$@" >"$TMP/py" 2>"$TMP/pyerr"
  prc=$?
  while IFS= read -r line; do
    case $line in
      PASS*) pass ;;
      FAIL*) fail "${line#FAIL }" ;;
    esac
  done <"$TMP/py"
  if [ "$prc" -ne 0 ]; then
    fail "python check script exited with $prc"
    sed 's/^/    | /' "$TMP/pyerr" | tail -n 5
  fi
}

if [ ! -x "$CLI" ]; then
  echo "FAIL: $CLI is not an executable"
  echo "0 passed, 1 failed"
  exit 1
fi
if [ ! -f "$SAMPLE" ]; then
  echo "FAIL: sample scene $SAMPLE is missing"
  echo "0 passed, 1 failed"
  exit 1
fi

# ---------------------------------------------------------------- usage
run --help
expect_rc 0 "--help"
expect_match "inspect" out "--help lists the inspect command"
run inspect --help
expect_rc 0 "inspect --help"
expect_match "--meters" out "inspect --help lists --meters"
run --version
expect_rc 0 "--version"
expect_match "^orvo-cli [0-9]+\.[0-9]+" out "--version prints the program and its version"

run
expect_rc 2 "no command"
run frobnicate
expect_rc 2 "unknown command"
expect_stderr "frobnicate" "unknown command is named"
# An unknown command is a usage error whatever follows it, --help included.
for args in "explode --help" "frobnicate --help" "frobnicate $SAMPLE" "--version explode"; do
  # shellcheck disable=SC2086
  run $args
  expect_rc 2 "orvo-cli $args"
  expect_no_match "^Usage:" out "orvo-cli $args prints no help"
done
run inspect
expect_rc 2 "inspect without a scene"
run inspect "$SAMPLE" --bogus
expect_rc 2 "unknown option"
run inspect "$SAMPLE" --scale
expect_rc 2 "--scale without its value"
run inspect "$SAMPLE" --scale abc
expect_rc 2 "--scale with a non-number"
run inspect "$SAMPLE" --meters --scale 2
expect_rc 2 "--meters together with --scale"
run inspect "$SAMPLE" "$SAMPLE"
expect_rc 2 "two scenes"

# ---------------------------------------------------------------- unreadable input
missing=$TMP/no/such/scene.ase
run inspect "$missing"
expect_rc 1 "missing file"
expect_stderr "$missing" "missing file"

cp "$SAMPLE" "$TMP/vehicle.txt"
run inspect "$TMP/vehicle.txt"
expect_rc 1 "scene without the .ase extension"
expect_stderr "$TMP/vehicle.txt" "scene without the .ase extension"

if [ -d "$CORPUS" ]; then
  if [ -f "$CORPUS/empty.ase" ]; then
    run inspect "$CORPUS/empty.ase"
    expect_rc 1 "empty scene"
    expect_stderr "empty.ase" "empty scene"
    expect_no_match "^Graphic Object" out "empty scene gets no report"
  else
    echo "SKIP: $CORPUS/empty.ase not found"
  fi
  utf16=
  for f in "$CORPUS"/*[Uu][Tt][Ff]16*; do
    if [ -f "$f" ]; then utf16=$f; break; fi
  done
  if [ -n "$utf16" ]; then
    run inspect "$utf16"
    expect_rc 1 "UTF-16 scene"
    expect_stderr "${utf16##*/}" "UTF-16 scene"
    if grep -qi "utf-16" "$TMP/err"; then pass; else fail "UTF-16 scene: stderr does not say UTF-16"; fi
  else
    echo "SKIP: no UTF-16 scene in $CORPUS"
  fi
else
  echo "SKIP: corpus $CORPUS not found"
fi

# ---------------------------------------------------------------- the vehicle: log and text report
run inspect "$SAMPLE"
expect_rc 0 "vehicle"
expect_no_match "ERROR" out "vehicle log"
expect_line "Converting to internal format..." "vehicle log"
expect_line "Num Center Points: 3" "vehicle log"
expect_line "Num Attach Points: 2" "vehicle log"
expect_line "Num Stretch Boxes: 0" "vehicle log"
expect_line "SubObject 01:    2 MAX objects" "vehicle log"
expect_line "SubObject 02:    1 MAX objects" "vehicle log"
expect_line "SubObject 03:    1 MAX objects" "vehicle log"
expect_line "Done" "vehicle log"
# The minute is padded with a blank ("9: 5"), the year printed in full.
expect_match "^Graphic Object: vehicle, ([1-9]|1[0-2])/[0-9]{1,2}/[0-9]{4}, [0-9]{1,2}:[ 1-5][0-9]$" out \
  "vehicle report header"
expect_line "Objects: 3" "vehicle report"
expect_line "  01 Tracks    28    44" "vehicle report"
expect_line "  03 Gun    12    20" "vehicle report"
expect_line "  Total Vert: 52" "vehicle report"
expect_line "  Total Poly: 84" "vehicle report"
expect_line "Attachment Points: 2" "vehicle report"
expect_line "  ~01 TurretMount" "vehicle report"
expect_line "Materials: 5" "vehicle report"
expect_line "  hull_dirt.tga" "vehicle report"

# ---------------------------------------------------------------- the vehicle: JSON
run inspect "$SAMPLE" --json
expect_rc 0 "vehicle --json"
cp "$TMP/out" "$TMP/vehicle.json"
run inspect "$SAMPLE" --json --meters
expect_rc 0 "vehicle --json --meters"
cp "$TMP/out" "$TMP/vehicle-m.json"

python_checks '
import json, sys

def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what)

def near(a, b, tol=1e-4):
    return abs(a - b) <= tol * max(1.0, abs(a), abs(b))

def near3(p, q):
    return len(p) == 3 and all(near(a, b) for a, b in zip(p, q))

try:
    j = json.load(open(sys.argv[1]))
    jm = json.load(open(sys.argv[2]))
except ValueError as e:
    check(False, "--json output does not parse: %s" % e)
    sys.exit(0)
S = 0.3084

check(j.get("name") == "vehicle", "json name")
check(j.get("attributes") == 1, "json attributes (ASE origin, no stretch box)")
check(j.get("errors") is False and j.get("messages") == [], "json: no errors and no messages")
check(j.get("log") == [
    "Parsing MAX file",
    "Material: \"Vehicle\"  3 submaterials",
    "Material: \"TurretMetal\"",
    "Converting to internal format...",
    "Num Center Points: 3",
    "Num Attach Points: 2",
    "Num Stretch Boxes: 0",
    "SubObject 01:    2 MAX objects",
    "SubObject 02:    1 MAX objects",
    "SubObject 03:    1 MAX objects",
    "",
    "Done"], "json log, line for line: %r" % (j.get("log"),))

subs = [(s["name"], s["parent"], s["flags"], s["verts"], s["tverts"], s["faces"], s["has_colors"])
        for s in j.get("subobjects", [])]
check(subs == [("01 Tracks", 0, 0, 28, 28, 44, True),
               ("02 Turret", 0, 0, 12, 12, 20, False),
               ("03 Gun", 1, 0, 12, 12, 20, False)], "json subobjects: %r" % subs)
check([s.get("bounding_objects") for s in j.get("subobjects", [])] == [1, 1, 0],
      "json bounding objects per subobject (occluders not counted)")

check([c["name"] for c in j["centers"]] == ["_01 Center", "_02 Center", "_03 Center"], "json centre names")
# Scene (x, y, z) comes in turned a quarter turn: (-y, x, z), times the scale.
check(near3(j["centers"][2]["pos"], [0, 14 * S, 27 * S]), "json _03 Center position")
check([a["name"] for a in j["attach"]] == ["~01 TurretMount", "~02 GunMount"], "json attachment names")
check(near3(j["attach"][0]["pos"], [0, -2 * S, 23 * S]), "json ~01 TurretMount position")

b = {x["name"]: x for x in j["bounding"]}
check(sorted(b) == ["BBLW01 Hull", "CB02 Turret", "OB01 Occluder"], "json bounding names: %r" % sorted(b))
def bobj(name, type_, flags, sub, sub2):
    x = b.get(name, {})
    got = (x.get("type"), x.get("flags"), x.get("subobject"), x.get("subobject2"))
    check(got == (type_, flags, sub, sub2), "json %s type/flags/subobject/subobject2: %r" % (name, got))
bobj("BBLW01 Hull", 8, 38, 0, 0)
bobj("CB02 Turret", 1, 0, 1, 0)
bobj("OB01 Occluder", 20, 0, 0, 0)
hull = b.get("BBLW01 Hull", {})
check(near3(hull.get("min", []), [-22 * S, -34 * S, 0]) and near3(hull.get("max", []), [22 * S, 32 * S, 22 * S]),
      "json BBLW01 Hull extents")

u = [(x["name"], x["kind"], x["subobject"]) for x in j["userpoints"]]
check(u == [("Muzzle", "A", 2), ("Exhaust", "E", 0)], "json user points, by subobject descending: %r" % u)
check(near3(j["userpoints"][0]["pos"], [0, 55 * S, 27 * S]), "json Muzzle position")

l = [(x["name"], x["subobject"]) for x in j["lights"]]
check(l == [("LP1 Headlight", 0), ("LP3 MuzzleFlash", 2)], "json lights (Omni01 ignored): %r" % l)
check(near3(j["lights"][0]["pos"], [-8 * S, 31 * S, 15 * S]), "json LP1 position")
check(near3(j["lights"][0]["color"], [1.0, 0.95, 0.8]) and near(j["lights"][0]["intensity"], 1.2),
      "json LP1 colour and intensity")

keys = ("name", "description", "render_attributes", "color_type", "alpha_type", "blending_mode",
        "multitexture_flags", "use_alpha_pcx")
mats = [tuple(m[k] for k in keys) for m in j["materials"]]
expected = [("hull_base.tga", "HullPaint", 0, 2, 0, 1, 1, 0),
            ("hull_dirt.tga", "HullPaint", 0, 2, 0, 1, 2, 0),
            ("lamp.tga", "Lamps", 0, 2, 2, 2, 1, 1),
            ("tracks.tga", "Tracks", 0, 2, 0, 1, 1, 0),
            ("turret.tga", "TurretMetal", 1, 2, 0, 1, 1, 0)]
check(len(mats) == len(expected), "json material count %d" % len(mats))
for got, want in zip(mats, expected):
    check(got == want, "json material %s: %r" % (want[0], got))
check(j["materials"][2].get("alpha_texture") == "lamp_a.tga", "json lamp alpha texture")

# --meters: the same scene at scale 1, every position and distance 1/0.3084 times larger.
check(near(jm.get("scale", 0), 1.0) and near(j.get("scale", 0), S), "json scale factors")
def positions(d):
    out = []
    for k in ("centers", "attach", "userpoints", "lights"):
        out += [("%s %s" % (k, x["name"]), x["pos"]) for x in d[k]]
    for x in d["bounding"]:
        out += [("bounding %s %s" % (x["name"], f), x[f]) for f in ("center", "min", "max")]
        out += [("bounding %s radius" % x["name"], [x["radius"]])]
    for x in d["lights"]:
        out += [("light %s attenuation" % x["name"], x["attenuation"])]
    return out
pm, pd = positions(jm), positions(j)
check([n for n, _ in pm] == [n for n, _ in pd], "--meters gives the same markers")
bad = [n for (n, a), (_, b2) in zip(pm, pd)
       if len(a) != len(b2) or not all(abs(x / S - y) <= 1e-3 * max(1.0, abs(y)) for x, y in zip(b2, a))]
check(not bad, "--meters positions are positions / 0.3084: %r" % bad)
' "$TMP/vehicle.json" "$TMP/vehicle-m.json"

# Exports written on Windows end their lines with CR LF: same result.
mkdir "$TMP/crlf"
awk '{ printf "%s\r\n", $0 }' "$SAMPLE" >"$TMP/crlf/vehicle.ase"
run inspect "$TMP/crlf/vehicle.ase" --json
expect_rc 0 "vehicle with CR LF line ends"
python_checks '
import json, sys
try:
    a, b = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
except ValueError as e:
    print("FAIL vehicle with CR LF line ends: --json does not parse: %s" % e)
    sys.exit(0)
print("PASS" if a == b else "FAIL vehicle with CR LF line ends converts differently")
' "$TMP/out" "$TMP/vehicle.json"

# ---------------------------------------------------------------- scenes the conversion rejects
# Each is the vehicle with one name changed; the conversion completes but
# logs an error, which is exit status 3.
broken() { # NAME SED_SCRIPT
  sed "$2" "$SAMPLE" >"$TMP/$1.ase"
  if cmp -s "$SAMPLE" "$TMP/$1.ase"; then fail "$1: the sed script changed nothing"; fi
  run inspect "$TMP/$1.ase"
}
broken zero 's/"01 Tracks"/"00 Bad"/'
expect_rc 3 "object 00 Bad"
expect_match "^ERROR" out "object 00 Bad is logged"
expect_match "^Graphic Object: zero, " out "object 00 Bad: the report is still printed"

broken gap 's/"03 Gun"/"04 Gun"/'
expect_rc 3 "numbering gap"
expect_line "SubObject 03:    ERROR!  No MAX object exists!" "numbering gap"
expect_line "SubObject 04:    1 MAX objects" "numbering gap"
run inspect "$TMP/gap.ase" --json
expect_rc 3 "numbering gap --json"
python_checks '
import json, sys
try:
    j = json.load(open(sys.argv[1]))
except ValueError as e:
    print("FAIL numbering gap --json does not parse: %s" % e)
    sys.exit(0)
print(("PASS" if j.get("errors") is True else "FAIL numbering gap: json errors is not true"))
print(("PASS" if len(j.get("subobjects", [])) == 4 else "FAIL numbering gap: json holds %d subobjects" % len(j.get("subobjects", []))))
' "$TMP/out"

broken longname 's/"02 Turret"/"02 Turret with a far too long name"/'
expect_rc 3 "object name over 30 characters"
expect_line "ERROR!  Exceeded maximum name length for MAX object!" "object name over 30 characters"
expect_line '----> "02 Turret with a far too long name"' "object name over 30 characters"

broken badbox 's/"CB02 Turret"/"CBx2 Turret"/'
expect_rc 3 "bounding object without a number"
expect_line "ERROR! Bad collision box: CBx2 Turret" "bounding object without a number"

broken light00 's/"LP1 Headlight"/"LP0 Headlight"/'
expect_rc 3 "light with number 0"

# Names in the modelling package's code page (not UTF-8) still give valid JSON.
sed 's/"02 Turret"/"02 T\xfcrm"/' "$SAMPLE" > "$TMP/latin.ase"
run inspect "$TMP/latin.ase" --json
expect_rc 0 "Latin-1 object name --json"
python_checks '
import json, sys
try:
    json.load(open(sys.argv[1], encoding="utf-8"))
    print("PASS")
except ValueError as e:
    print("FAIL Latin-1 object name: json does not parse: %s" % e)
' "$TMP/out"

# Output that cannot be written is a failure.
if [ -w /dev/full ]; then
  "$CLI" inspect "$SAMPLE" > /dev/full 2> "$TMP/err"
  rc=$?
  if [ "$rc" -eq 1 ]; then pass; else fail "write to a full disk exits $rc, not 1"; fi
fi

# --help and --version that cannot be written fail too.
if [ -w /dev/full ]; then
  for args in "--help" "--version" "inspect --help"; do
    # shellcheck disable=SC2086
    "$CLI" $args > /dev/full 2> "$TMP/err"
    rc=$?
    expect_rc 1 "orvo-cli $args to a full disk"
    expect_stderr "orvo-cli: cannot write to standard output" "orvo-cli $args to a full disk"
  done
fi

# ---------------------------------------------------------------- scenes that never end
# Devices, links to them and FIFOs are refused at once (a FIFO without a
# writer would otherwise block the open). `timeout` turns a hang into a
# failure where it exists.
quick() {
  if command -v timeout >/dev/null 2>&1; then
    timeout 20 "$CLI" "$@" >"$TMP/out" 2>"$TMP/err"
  else
    "$CLI" "$@" >"$TMP/out" 2>"$TMP/err"
  fi
  rc=$?
}
mkdir "$TMP/endless"
ln -s /dev/zero "$TMP/endless/zero.ase"
ln -s /dev/zero "$TMP/endless/zero.3da"
if mkfifo "$TMP/endless/fifo.asc" 2>/dev/null; then fifo=$TMP/endless/fifo.asc; else fifo=; fi
for f in /dev/zero "$TMP/endless/zero.ase" "$TMP/endless/zero.3da" $fifo; do
  quick inspect "$f"
  expect_rc 1 "inspect $f"
  expect_stderr "$f" "inspect $f names the file"
done
quick inspect --json "$TMP/endless/zero.ase"
expect_rc 1 "inspect --json of a link to /dev/zero"
quick import "$TMP/endless/zero.ase" -o "$TMP/endless/out.3da"
expect_rc 1 "import of a link to /dev/zero"
if [ -e "$TMP/endless/out.3da" ]; then fail "import of a link to /dev/zero wrote a model"; else pass; fi
# A 3DA file whose scene is a link to /dev/zero.
run import "$SAMPLE" -o "$TMP/endless/dz.3da"
ln -s /dev/zero "$TMP/endless/dz.ase"
quick inspect "$TMP/endless/dz.3da"
expect_rc 1 "3DA whose scene is a link to /dev/zero"
expect_stderr "dz.ase" "3DA whose scene is a link to /dev/zero names the scene"

# --- Model files: import, resave, 3DA inspection and level sets ---
SET=$SRC/samples/tank

run import "$SAMPLE" -o "$TMP/vehicle.3da"
expect_rc 0 "import the sample scene"
expect_line "Converting to internal format..." "import prints the conversion log"
if head -n 1 "$TMP/vehicle.3da" | grep -qE '^/ 3DI metafile, saved on [0-9]+/[0-9]+/[0-9]{4}, [0-9]+:[ 0-9][0-9]$'; then pass; else
  fail "import: the 3DA header line"
fi
if grep -qx "  3da_version 3" "$TMP/vehicle.3da"; then pass; else fail "import writes version 3"; fi
if grep -qx "  color_type 2" "$TMP/vehicle.3da"; then pass; else fail "import: materials are Color - Texture"; fi

# The written 3DA reads back beside its scene and saves to the same text.
cp "$SAMPLE" "$TMP/vehicle.ase"
run inspect "$TMP/vehicle.3da"
expect_rc 0 "inspect the imported 3DA"
expect_match "^Graphic Object: vehicle, " out "inspect 3DA: report"
run resave "$TMP/vehicle.3da" -o "$TMP/again.3da"
expect_rc 0 "resave"
if [ "$(tail -n +2 "$TMP/vehicle.3da")" = "$(tail -n +2 "$TMP/again.3da")" ]; then pass; else
  fail "resave changes the text beyond the date line"
fi

# A 3DA whose scene file is missing fails and says which file.
cp "$TMP/vehicle.3da" "$TMP/orphan.3da"
run inspect "$TMP/orphan.3da"
expect_rc 1 "3DA without its scene"
expect_stderr "$TMP/orphan.ase" "3DA without its scene"

# A parse error names the line.
printf 'begin general_information\n  3da_version 3\nbegin nonsense\n' > "$TMP/bad.3da"
run inspect "$TMP/bad.3da"
expect_rc 1 "3DA with a parse error"
expect_stderr "bad.3da:3" "3DA with a parse error"

# The sample level set: four levels, each reported.
run inspect --set "$SET/tankm.3da"
expect_rc 0 "inspect --set of the sample level set"
for l in h m l t; do expect_line "== level $l" "level set: level $l"; done
run inspect --set "$SET/tankh.3da" --json
expect_rc 0 "inspect --set --json"
python_checks '
import json, sys
j = json.load(open(sys.argv[1]))
levels = j.get("levels", [])
print("PASS" if [l["letter"] for l in levels] == ["h", "m", "l", "t"] else "FAIL level set json: letters")
print("PASS" if all(l["ok"] for l in levels) else "FAIL level set json: a level failed")
print("PASS" if levels and levels[0]["model"]["name"] == "tankh" else "FAIL level set json: H model name")
print("PASS" if len(levels) == 4 and len(levels[2]["model"]["subobjects"]) == 2 else "FAIL level set json: L sub-objects")
' "$TMP/out"

# A set with a missing level reports it in its words and fails.
mkdir "$TMP/set"
for l in h m l; do cp "$SET/tank$l.3da" "$TMP/set/"; done
cp "$SAMPLE" "$TMP/set/tankh.ase"; cp "$SAMPLE" "$TMP/set/tankm.ase"; cp "$SRC/samples/crate.asc" "$TMP/set/tankl.asc"
run inspect --set "$TMP/set/tankh.3da"
expect_rc 1 "level set with a missing level"
expect_stderr "Unable to open 't' file" "level set with a missing level"
# The plain output names the file and the reason too.
expect_stderr "$TMP/set/tankt.3da: cannot open: " "level set with a missing level: its file and the reason"
expect_line "== level l" "level set with a missing level: the others are read"
# A level whose scene cannot be read: the scene's file and the reason.
rm "$TMP/set/tankl.asc"
ln -s /dev/zero "$TMP/set/tankl.asc"
quick inspect --set "$TMP/set/tankh.3da"
expect_rc 1 "level set with an unreadable scene"
expect_stderr "tankl.asc: cannot open: not a regular file" "level set with an unreadable scene: its file and the reason"

# The skinned sample converts.
run inspect "$SRC/samples/soldier.ase"
expect_rc 0 "skinned sample"
expect_no_match "ERROR" out "skinned sample logs no error"

# The ASC sample imports.
run import "$SRC/samples/crate.asc" -o "$TMP/crate.3da"
expect_rc 0 "import the ASC sample"
if grep -qx "  attributes: 0" "$TMP/crate.3da"; then pass; else fail "ASC import: attributes bit 0 clear"; fi

# ---------------------------------------------------------------- file-size limit
# Past `ulimit -f` the write fails like a full disk: exit 1, a message that
# names the file, and no temporary file left behind. The limit is 2 KiB to
# 4 KiB (blocks of 512 or 1024 bytes), less than the 3DA file.
mkdir "$TMP/limit"
(
  ulimit -f 4 2>/dev/null || exit 99
  exec "$CLI" import "$SAMPLE" -o "$TMP/limit/vehicle.3da" >/dev/null 2>"$TMP/limit-err"
)
rc=$?
if [ "$rc" -eq 99 ]; then
  echo "SKIP: ulimit -f is not available"
else
  expect_rc 1 "import under a file-size limit"
  if grep -qF "$TMP/limit/vehicle.3da" "$TMP/limit-err"; then pass; else
    fail "import under a file-size limit: stderr does not name the file"
    sed 's/^/    err| /' "$TMP/limit-err"
  fi
  leftover=$(ls -A "$TMP/limit")
  if [ -z "$leftover" ]; then pass; else fail "import under a file-size limit leaves: $leftover"; fi
fi

finish
