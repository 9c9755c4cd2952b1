#!/bin/sh
# Command-line checks of loamer-cli: usage and exit codes, projects and depth
# maps that cannot be built, a whole build of a generated depth map with its
# files inspected and drawn, a full stdout, a file-size limit, and Ctrl+C
# during a build.
#
#   loamer_cli_test.sh PATH_TO_LOAMER_CLI PATH_TO_MAKE_DEPTH_MAP

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH_TO_LOAMER_CLI PATH_TO_MAKE_DEPTH_MAP" >&2
  exit 2
fi
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
MAKE_MAP=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")

TMP=$(mktemp -d "${TMPDIR:-/tmp}/loamer-cli-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/../cli_checks.sh"


# Usage.
run --help
expect_rc 0 "--help"
run --version
expect_rc 0 "--version"
run
expect_rc 2 "no subcommand"
run build
expect_rc 2 "build without a project"
run build x.tpj --jobs 0
expect_rc 2 "--jobs 0"
# An unknown command is a usage error whatever follows it.
for args in frobnicate "frobnicate --help" "--version inspekt"; do
  # shellcheck disable=SC2086
  run $args
  expect_rc 2 "loamer-cli $args"
  expect_stderr "unknown command" "loamer-cli $args"
done

# Projects that cannot be built.
run build "$TMP/none.tpj"
expect_rc 1 "missing project"
expect_stderr "$TMP/none.tpj" "missing project named"
printf 'TerrainName "T"\nPath "%s/"\nDepthMap map.raw\nOutput t.cpt\n' "$TMP" >"$TMP/nocreator.tpj"
run build "$TMP/nocreator.tpj"
expect_rc 1 "project without a creator"
expect_stderr "missing: creator" "project without a creator names the key"
printf 'TerrainName "T"\nCreator "C"\nPath "%s/"\nDepthMap nomap.raw\nOutput t.cpt\n' "$TMP" >"$TMP/nomap.tpj"
(cd "$TMP" && "$CLI" build nomap.tpj >"$TMP/out" 2>"$TMP/err")
rc=$?
expect_rc 1 "missing depth map"
expect_line "Error:  Could not open Input file" "missing depth map"
expect_stderr "$TMP/nomap.raw: cannot open: No such file or directory" "missing depth map names the file and the reason"

# Depth maps that are no regular file are refused at once, not read.
mkdir "$TMP/mapdir"
ln -s /dev/zero "$TMP/zero.raw"
mkfifo "$TMP/fifo.raw"
for m in mapdir:"Is a directory" zero.raw:"not a regular file" fifo.raw:"not a regular file"; do
  name=${m%%:*}
  printf 'TerrainName "T"\nCreator "C"\nPath "%s/"\nDepthMap %s\nOutput t.cpt\n' "$TMP" "$name" >"$TMP/odd.tpj"
  run build "$TMP/odd.tpj"
  expect_rc 1 "depth map $name"
  expect_line "Error:  Could not open Input file" "depth map $name"
  expect_stderr "$TMP/$name: cannot open: ${m#*:}" "depth map $name names the file and the reason"
done
if grep -qF "Tessa Release Version" "$TMP/ghw.txt" 2>/dev/null; then pass; else fail "ghw.txt written at start"; fi

# The depth map tool: its help and version are printed, not written as
# depth maps named after them; a seed that is no number is refused.
mkdir "$TMP/t"
(cd "$TMP/t" && "$MAKE_MAP" --help >"$TMP/map-help.txt" && "$MAKE_MAP" --version >>"$TMP/map-help.txt") ||
  fail "make-depth-map --help, --version"
if grep -q "OUT" "$TMP/map-help.txt" && grep -q "^make-depth-map [0-9]" "$TMP/map-help.txt" &&
  [ -z "$(ls -A "$TMP/t")" ]; then pass; else fail "make-depth-map --help and --version print and write nothing"; fi
if "$MAKE_MAP" "$TMP/t/bad.raw" seven 2>/dev/null; then fail "make-depth-map took seed 'seven'"; else pass; fi

# A whole build.
"$MAKE_MAP" "$TMP/t/valley.raw" 7 || fail "make-depth-map"
if [ "$(wc -c <"$TMP/t/valley.raw")" -eq 1048576 ]; then pass; else fail "depth map size"; fi
printf '// sample\nTerrainName "Valley Test"\nCreator "cli test"\nPath "%s/t/"\nDepthMap valley.raw\nOutput valley.v2.dat\n' \
  "$TMP" >"$TMP/valley.tpj"
run build "$TMP/valley.tpj" --jobs 2
expect_rc 0 "build"
expect_line "Opening $TMP/valley.tpj" "build"
expect_line "Total Data Blocks: 341" "build"
expect_count 341 '^Generating Data [0-4]   [0-9a-f]{2}/[0-9a-f]{2} VRange:[0-9]+-[0-9]+ \([0-9]+%\)$' "build"
expect_line "Build Completed" "build"
if [ -f "$TMP/t/valley.cpt" ]; then pass; else fail "terrain file valley.cpt written"; fi

run inspect "$TMP/t/valley.cpt"
expect_rc 0 "inspect .cpt"
expect_line "  terrain     Valley Test" "inspect .cpt"
run inspect --json "$TMP/t/valley.cpt"
expect_rc 0 "inspect --json .cpt"
if grep -q '"format": "CPT1"' "$TMP/out" && grep -q '"records_per_sector"' "$TMP/out"; then pass; else
  fail "inspect --json .cpt fields"; show_output; fi
run inspect "$TMP/t/S4_3c_3c.tms"
expect_rc 0 "inspect .tms"
expect_line "  origin      960, 960" "inspect .tms"
run inspect --json "$TMP/t/S2_10_30.tml"
expect_rc 0 "inspect --json .tml"
if grep -q '"origin_x": 256' "$TMP/out" && grep -q '"origin_z": 768' "$TMP/out"; then pass; else
  fail "inspect --json .tml origin"; show_output; fi
run inspect "$TMP/t/Output.dep"
expect_rc 0 "inspect Output.dep"
run inspect "$TMP/valley.tpj"
expect_rc 1 "inspect a file of no terrain format"
run inspect "$TMP/t/none.tms"
expect_rc 1 "inspect a missing file"
expect_stderr "$TMP/t/none.tms: cannot open: No such file or directory" "inspect a missing file"
run inspect "$TMP/t"
expect_rc 1 "inspect a folder"
expect_stderr "$TMP/t: cannot open: Is a directory" "inspect a folder"

# Pictures of the build, where loamer-cli has its render command: a PNG of
# 1024 x 1024 (big-endian width and height at byte 16), a flat map drawn
# differently from the hills.
if "$CLI" --help | grep -q '^  render'; then
  run render "$TMP/valley.tpj" -o "$TMP/valley.png" --sector 2 --lod 6
  expect_rc 0 "render"
  size=$(od -An -tx1 -j16 -N8 "$TMP/valley.png" | tr -d ' \n')
  if [ "$size" = "0000040000000400" ]; then pass; else fail "render: PNG of 1024 x 1024, header $size"; fi
  mkdir "$TMP/flat"
  head -c 1048576 /dev/zero | tr '\0' '\100' >"$TMP/flat/flat.raw"
  sed -e 's|/t/|/flat/|' -e 's|valley.raw|flat.raw|' "$TMP/valley.tpj" >"$TMP/flat.tpj"
  run build "$TMP/flat.tpj"
  run render "$TMP/flat.tpj" -o "$TMP/flat.png" --sector 2 --lod 6
  expect_rc 0 "render a flat map"
  if cmp -s "$TMP/flat.png" "$TMP/valley.png"; then fail "a flat map renders as the hills do"; else pass; fi
  run render "$TMP/valley.tpj" -o "$TMP/x.png" --sector 9
  expect_rc 2 "render --sector 9"
fi

# Output that standard output cannot take is no success.
for args in --help --version "inspect $TMP/t/S4_3c_3c.tms"; do
  run_full $args
  expect_rc 1 "$args into a full stdout"
  expect_stderr "loamer-cli: cannot write to standard output" "$args into a full stdout"
done

# Nothing changed: everything is reused, nothing converted.
run build "$TMP/valley.tpj"
expect_rc 0 "rebuild"
expect_count 341 '^Loaded in Sector ' "rebuild reuses every block"
expect_count 0 '^Generating Data ' "rebuild generates nothing"
run_full build "$TMP/valley.tpj"
expect_rc 1 "rebuild into a full stdout"

# A file-size limit that Output.dep does not fit under: the write fails
# instead of killing the program, the build names the file, and the
# temporary file of the replace is gone.
(ulimit -f 1000 && "$CLI" build "$TMP/valley.tpj" >"$TMP/out" 2>"$TMP/err")
rc=$?
expect_rc 1 "build under ulimit -f"
expect_line "Error:  $TMP/t/Output.dep: cannot write: File too large" "build under ulimit -f"
expect_stderr "$TMP/t/Output.dep: cannot write: File too large" "build under ulimit -f"
expect_no_temp_files "$TMP/t" "build under ulimit -f"
if [ "$(wc -c <"$TMP/t/Output.dep")" -eq 2097152 ]; then pass; else fail "ulimit -f leaves the old Output.dep"; fi

# Ctrl+C during the first stage of a fresh build.
rm -f "$TMP"/t/*.tml "$TMP"/t/*.tms
"$CLI" build "$TMP/valley.tpj" --jobs 1 >"$TMP/out" 2>"$TMP/err" &
pid=$!
i=0
while [ $i -lt 200 ] && ! grep -q '^Generating Data' "$TMP/out" 2>/dev/null; do
  sleep 0.05
  i=$((i + 1))
done
kill -INT $pid
wait $pid
rc=$?
expect_rc 130 "Ctrl+C"
expect_line "Stopping Build...." "Ctrl+C"
expect_line "Build Stopped" "Ctrl+C"
if [ "$(wc -c <"$TMP/t/Output.dep")" -eq 2097152 ]; then pass; else fail "Ctrl+C leaves a whole Output.dep"; fi
if ls "$TMP"/t/.*-save-* >/dev/null 2>&1; then fail "Ctrl+C leaves temporary files"; else pass; fi

finish
