#!/bin/sh
# Command-line checks of orvo-cli render's camera: by default it frames the
# model, so a scene exported in small units (the sample vehicle at a scale
# of 0.005, half a unit long) fills the picture instead of a few pixels of
# it; --zoom puts the camera where it says. The model's pixels are those
# that change when its textures give way to solid colours (--solid).
#
#   render_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-render-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

if ! "$CLI" render --help >/dev/null 2>&1; then
  echo "SKIP: orvo-cli has no render command (built without OpenGL)"
  exit 0
fi

# model_box A.png B.png: the width and height of the box of pixels that
# differ between two pictures of one size.
model_box() {
  python3 - "$1" "$2" <<'PY'
import sys, struct, zlib

def read_png(path):
    data = open(path, 'rb').read()
    pos, idat = 8, b''
    while pos < len(data):
        n, = struct.unpack('>I', data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b'IHDR':
            w, h, depth, ctype = struct.unpack('>IIBB', body[:10])
        elif kind == b'IDAT':
            idat += body
    bpp = {2: 3, 6: 4}[ctype]
    raw, stride, rows, prev, i = zlib.decompress(idat), w * bpp, [], bytearray(w * bpp), 0
    for _ in range(h):
        f, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b, c = prev[x], (prev[x - bpp] if x >= bpp else 0)
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([line[x:x + 3] for x in range(0, stride, bpp)])
        prev = line
    return w, h, rows

w, h, a = read_png(sys.argv[1])
_, _, b = read_png(sys.argv[2])
xs, ys = [], []
for y in range(h):
    for x in range(w):
        if max(abs(p - q) for p, q in zip(a[y][x], b[y][x])) > 12:
            xs.append(x)
            ys.append(y)
print((max(xs) - min(xs) + 1) if xs else 0, (max(ys) - min(ys) + 1) if ys else 0)
PY
}

mkdir -p "$TMP/small"
cp "$SRC/samples/vehicle.ase" "$TMP/small/smallh.ase"
run import "$TMP/small/smallh.ase" -o "$TMP/small/smallh.3da" --scale 0.005
expect_rc 0 "import at a scale of 0.005"

cat >"$TMP/render.sh" <<SCRIPT
#!/bin/sh
set -e
for solid in "" --solid; do
  "$CLI" render "$TMP/small/smallh.3da" --textures "$SRC/samples/textures" --size 320x240 --no-overlay \$solid \
    -o "$TMP/framed\$solid.png"
  "$CLI" render "$TMP/small/smallh.3da" --textures "$SRC/samples/textures" --size 320x240 --no-overlay \$solid \
    --zoom 3 -o "$TMP/zoom3\$solid.png"
done
SCRIPT
chmod +x "$TMP/render.sh"
"$SRC/tests/run-with-display" "$TMP/render.sh" >"$TMP/out" 2>"$TMP/err"
rc=$?
if [ "$rc" -eq 77 ]; then
  echo "SKIP: orvo-cli render needs OpenGL and a display"
  exit 0
fi
expect_rc 0 "the four pictures are drawn"

set -- $(model_box "$TMP/framed.png" "$TMP/framed--solid.png")
if [ "$1" -ge 112 ] || [ "$2" -ge 84 ]; then pass; else
  fail "by default the model fills the picture: its pixels span ${1}x$2 of 320x240"
fi
if [ "$1" -lt 320 ] && [ "$2" -lt 240 ]; then pass; else fail "the framed model stays inside the picture: ${1}x$2"; fi
set -- $(model_box "$TMP/zoom3.png" "$TMP/zoom3--solid.png")
if [ "$1" -le 16 ] && [ "$2" -le 16 ]; then pass; else
  fail "--zoom 3 keeps the camera 33 units away: the half-unit model spans ${1}x$2"
fi

finish
