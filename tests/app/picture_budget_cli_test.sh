#!/bin/sh
# Command-line checks of textures that declare huge pictures in small files:
# the tank set with a 16384 x 16384 run-length TGA (10 MB, 1 GiB of pixels)
# and a 16384 x 16384 PCX (8.5 MB) for textures. The export takes their
# sizes from their headers, within 1 GB of address space; orvo-cli render,
# within 2 GB, reports the PCX as a texture it cannot use and still draws.
#
#   picture_budget_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR SANITIZED
#
# SANITIZED is ON for an AddressSanitizer build, whose shadow memory does
# not fit an address space limit: the checks then run without one.

if [ $# -ne 3 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR SANITIZED" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2
case $3 in ON | on | 1 | TRUE | true) LIMITS=no ;; *) LIMITS=yes ;; esac

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-budget-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

# limited KBYTES ARGS...: runs the tool as `run` does, within KBYTES of
# address space (unless sanitized).
limited() {
  kbytes=$1
  shift
  if [ "$LIMITS" = yes ]; then
    (ulimit -v "$kbytes" && exec "$CLI" "$@") >"$TMP/out" 2>"$TMP/err"
  else
    "$CLI" "$@" >"$TMP/out" 2>"$TMP/err"
  fi
  rc=$?
}

mkdir -p "$TMP/set"
cp "$SRC"/samples/tank/* "$SRC"/samples/textures/* "$TMP/set/"
for f in "$TMP"/set/tank?.ase "$TMP"/set/tank?.3da; do
  sed 's/tracks\.tga/tracks.pcx/' "$f" >"$TMP/edit" && mv "$TMP/edit" "$f"
done
python3 - "$TMP/set" <<'PY'
import struct, sys
folder = sys.argv[1]
side = 16384
# 32-bit run-length true colour, runs of 128 pixels.
tga = struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, side, side, 32, 0x20)
open(folder + "/hull_base.tga", "wb").write(tga + b"\xff\x10\x20\x30\xff" * (side * side // 128))
# 8-bit PCX, runs of 63 across row ends, a grey palette.
pcx = bytearray(128)
pcx[0:4] = bytes([10, 5, 1, 8])
struct.pack_into("<HHHH", pcx, 4, 0, 0, side - 1, side - 1)
pcx[65] = 1
struct.pack_into("<HH", pcx, 66, side, 1)
runs, left = bytearray(), side * side
runs += b"\xff\x07" * (left // 63)
if left % 63:
    runs += bytes([0xC0 | (left % 63), 7])
palette = bytes(v for i in range(256) for v in (i, i, i))
open(folder + "/tracks.pcx", "wb").write(bytes(pcx) + bytes(runs) + b"\x0c" + palette)
PY

# The export: both sizes from the headers, as for any picture.
started=$(date +%s)
limited 1000000 export "$TMP/set/tankh.3da" -o "$TMP/tank.3di" --json
finished=$(date +%s)
expect_rc 0 "export with huge pictures"
if [ $((finished - started)) -le 5 ]; then pass; else fail "the export took $((finished - started)) s"; fi
python3 - "$TMP/out" >"$TMP/py" 2>&1 <<'PY'
import json, sys
j = json.load(open(sys.argv[1]))
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
tex = {t["first_name"] or t["second_name"]: t for t in j["textures"]}
for name in ("hull_base.tga", "TRACKS.PCX"):
    t = tex.get(name, {})
    check(t.get("width") == 16384 and t.get("height") == 16384, name + " is 16384 x 16384 in the texture table")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"

# The render: the PCX cannot be decoded within the budget; the preview
# says so, draws a checkerboard in its place and writes the picture.
cat >"$TMP/render.sh" <<EOF
#!/bin/sh
[ "$LIMITS" = yes ] && ulimit -v 2000000
exec "$CLI" render "$TMP/set/tankh.3da" -o "$TMP/shot.png" --size 64x48 --no-overlay
EOF
chmod +x "$TMP/render.sh"
if "$CLI" render --help >/dev/null 2>&1; then
  "$SRC/tests/run-with-display" "$TMP/render.sh" >"$TMP/out" 2>"$TMP/err"
  rc=$?
else
  rc=77
fi
if [ "$rc" -eq 77 ]; then
  echo "SKIP: orvo-cli render needs OpenGL and a display"
else
  if [ "$rc" -eq 0 ] || [ "$rc" -eq 1 ]; then pass; else fail "render exits $rc (0 or 1 expected)"; show_output; fi
  expect_stderr "$TMP/set/tracks.pcx: the picture is 16384 x 16384 pixels" "render names the texture it cannot use"
  expect_stderr "more than the 256 MiB a picture may take" "render gives the budget"
  if [ -s "$TMP/shot.png" ]; then pass; else fail "render writes the picture"; fi
fi

finish
