#!/bin/sh
# Command-line checks of orvo-cli dump: the exported tank set loaded back as
# the preview loads it (text and JSON, the loader's log, the render paths a
# capability mask chooses), and files the loader refuses.
#
#   dump_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-dump-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

# The tank set with a 2 x 2 picture for its first texture, so that the
# texture table has entries the dump finds on disk.
mkdir -p "$TMP/set" "$TMP/work"
cp "$SRC"/samples/tank/* "$TMP/set/"
printf '\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\030\040\1\2\3\4\5\6\7\10\11\12\13\14' >"$TMP/set/hull_base.tga"
"$CLI" export "$TMP/set/tankh.3da" -o "$TMP/set/tank.3di" >/dev/null 2>&1 || fail "export the tank set"
cd "$TMP/work" || exit 1

run dump "$TMP/set/tank.3di"
expect_rc 0 "dump"
expect_match '^header .*lods 4$' out "the text names four LODs"
expect_match '^checksum +[0-9a-f]{8}$' out "the text shows the checksum"
expect_match '^    strip 0 +(list|strip) +n= +[0-9]+  base= +[0-9]+ span= +[0-9]+ addr= +0 ' out "per-strip lines"
expect_match "^Loading '" work/3di_log.txt "the log names the file"
expect_match "^CHECKSUM DATA FOLLOWS\.\.\.$" work/3di_log.txt "the log has the checksum block"
expect_match "^Final Stats for 3DI Objects$" work/3di_log.txt "the log ends with the final statistics"
cp "$TMP/work/3di_log.txt" "$TMP/log0"

run dump "$TMP/set/tank.3di" --json
expect_rc 0 "dump --json"
cp "$TMP/out" "$TMP/plain.json"
run dump "$TMP/set/tank.3di" --json --capabilities 0x3
expect_rc 0 "dump --json --capabilities 0x3"
python3 - "$TMP/plain.json" "$TMP/out" "$TMP/log0" "$(wc -c <"$TMP/set/tank.3di")" >"$TMP/py" 2>&1 <<'PY'
import json, re, sys
j, k = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
def check(ok, what): print(("PASS " if ok else "FAIL ") + what)
check(j["header"]["kind"] == "M" and j["header"]["lod_count"] == 4 and len(j["lods"]) == 4, "kind M, four LODs")
check(re.fullmatch(r"[0-9a-f]{8}", j["checksum"] or "") is not None, "checksum of 8 hex digits")
check("tank.3DI' : " + j["checksum"] + "\n" in open(sys.argv[3]).read(), "the same checksum as the log's")
check(j["sections"]["total_bytes"] == int(sys.argv[4]), "the sections add up to the file")
strips = [s for p in j["lods"][0]["parts"] for g in p["levels"] for s in g["strips"]]
check(sum(s["indices"] for s in strips) == j["sections"]["lods"][0]["indices"], "LOD 0 strips hold its indices")
check(strips and all("indices" in s and "addr" in s for s in strips), "strip fields")
t = j["textures"][0]
check(t["created"] == "hull_base.tga" and t["file"] == [2, 2] and not t["placeholder"], "the texture as created")
check(j["render"]["variants"] == [1, 1] and k["render"]["variants"] == [2, 2], "--capabilities 3 changes the variants")
PY
while IFS= read -r line; do case $line in PASS*) pass ;; *) fail "${line#FAIL }" ;; esac; done <"$TMP/py"

# Refused files and masks.
run dump "$TMP/set/nothing.3di"
expect_rc 1 "dump of a missing file"
expect_stderr "file does not exist" "dump of a missing file"
head -c 3000 "$TMP/set/tank.3di" >"$TMP/set/cut.3di"
run dump "$TMP/set/cut.3di"
expect_rc 1 "dump of a truncated file"
expect_stderr "collision" "a truncated file names the section"
run dump "$TMP/set/tank.3di" --capabilities 16
expect_rc 2 "--capabilities 16"

finish
