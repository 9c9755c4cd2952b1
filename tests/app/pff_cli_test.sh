#!/bin/sh
# Command-line checks of orvo-cli pff on hostile input: names leading out of
# the folder, a link on the way and overlapping entries are refused with exit
# status 1 and nothing written; pack refuses a name the reader would refuse.
#
#   pff_cli_test.sh PATH_TO_ORVO_CLI SOURCE_DIR

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_ORVO_CLI SOURCE_DIR" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$2

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-pff-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"

# The hostile archives are the fuzz seeds, made by the same script.
if ! python3 "$SRC/fuzz/make_pff_seeds.py" "$TMP/seeds"; then
  echo "FAIL: the seed archives cannot be made"
  echo "0 passed, 1 failed"
  exit 1
fi
files_under() { (cd "$1" && find . -mindepth 1 | sort | tr '\n' ' '); }

# Deep enough that "../../../../../../Z" would still land inside $TMP/deep.
out=$TMP/deep/1/2/3/4/5/out
mkdir -p "$out"
before=$(files_under "$TMP/deep")
for seed in traversal-up traversal-deep traversal-absolute traversal-backslash dot-and-empty; do
  run pff extract "$TMP/seeds/$seed.pff" -o "$out"
  expect_rc 1 "$seed refused"
  expect_stderr "; nothing was extracted" "$seed: the message says nothing was written"
  if [ "$(files_under "$TMP/deep")" = "$before" ]; then pass; else fail "$seed: written: $(files_under "$TMP/deep")"; fi
done
run pff extract "$TMP/seeds/traversal-up.pff" -o "$out"
expect_stderr "$TMP/seeds/traversal-up.pff: entry \"../X\": the name leads outside the folder; nothing was extracted" \
  "the message names the archive and the entry"

# A link in the folder to a folder outside is never followed.
mkdir -p "$TMP/link/out" "$TMP/link/outside"
ln -s ../outside "$TMP/link/out/SUB"
run pff extract "$TMP/seeds/subfolder.pff" -o "$TMP/link/out"
expect_rc 1 "a link on the way refused"
if [ -z "$(files_under "$TMP/link/outside")" ]; then pass; else fail "written through the link"; fi
rm "$TMP/link/out/SUB"
run pff extract "$TMP/seeds/subfolder.pff" -o "$TMP/link/out"
expect_rc 0 "entries in a subfolder"
expect_line "$TMP/link/out/SUB/B.PCX" "the subfolder entry is written inside the folder"

for seed in overlap-same overlap-header; do
  mkdir -p "$TMP/o"
  run pff extract "$TMP/seeds/$seed.pff" -o "$TMP/o"
  expect_rc 1 "$seed refused"
  if [ -z "$(files_under "$TMP/o")" ]; then pass; else fail "$seed: files were written"; fi
done
expect_stderr "overlap-header.pff: byte 0: the data of entry \"H\" (bytes 0 to 15) overlap the 16-byte header" \
  "the overlap message names the entry and the bytes"

mkdir -p "$TMP/in"
printf 'x' >"$TMP/in/a "
printf 'y' >"$TMP/in/b"
run pff pack "$TMP/blank.pff" "$TMP/in/b" "$TMP/in/a "
expect_rc 1 "pack of \"a \" refused"
expect_stderr "$TMP/in/a : cannot be stored as \"A \": the name ends in a blank" "pack names the file and the reason"
if [ -e "$TMP/blank.pff" ]; then fail "pack wrote an archive"; else pass; fi

finish
