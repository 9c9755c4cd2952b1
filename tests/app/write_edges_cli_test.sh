#!/bin/sh
# Where files meet the file system, through both command-line tools: outputs
# that are devices, pipes or links, logs with a link planted under their
# name, and a large export and a terrain build ended at random points (the
# output is always the old file or a complete new one, and no temporary file
# outlives the next good run).
#
#   write_edges_cli_test.sh ORVO_CLI LOAMER_CLI MAKE_DEPTH_MAP SOURCE_DIR [KILLS]
#
# KILLS (default 8) is how many runs of each kind are ended; 0 skips that part.

if [ $# -lt 4 ]; then
  echo "usage: $0 ORVO_CLI LOAMER_CLI MAKE_DEPTH_MAP SOURCE_DIR [KILLS]" >&2
  exit 2
fi
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
ORVO=$(abs "$1")
LOAMER=$(abs "$2")
MAKE_MAP=$(abs "$3")
SRC=$(cd "$4" && pwd)
KILLS=${5:-8}

TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-write-edges.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
trap 'exit 1' HUP INT TERM

CLI=$ORVO
. "$(dirname "$0")/../cli_checks.sh"

same() { cmp -s "$1" "$2"; }
no_temporaries() { # DIR WHAT
  if find "$1" -name '.*-save-*' | grep -q .; then
    fail "$2: temporary files left"
    find "$1" -name '.*-save-*' | sed 's/^/    | /' | head -n 5
  else pass; fi
}
# Runs a command in the background with SIGINT at its default action (a
# shell starts background commands with it ignored).
background() {
  python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' \
    "$@" &
}
random_delay() { # MAX_SECONDS
  python3 -c "import random, sys; print('%.3f' % random.uniform(0, float(sys.argv[1])))" "$1"
}

mkdir -p "$TMP/set" "$TMP/dst" "$TMP/ref"
cp -L "$SRC"/samples/tank/* "$TMP/set/"
# A 3DI file holds its own name: the references are made under the names
# the checks write.
for name in tank.3di pipe link.3di; do
  run export "$TMP/set/tankh.3da" -o "$TMP/ref/$name"
  expect_rc 0 "export the tank set as $name"
done

# ---- outputs that are devices, pipes or links --------------------------------

run export "$TMP/set/tankh.3da" -o "$TMP/dst/tank.3di" --depfile /dev/null
expect_rc 0 "--depfile /dev/null"
if [ -c /dev/null ]; then pass; else fail "/dev/null is no longer a character device"; fi

mkfifo "$TMP/dst/pipe"
timeout 60 cat "$TMP/dst/pipe" >"$TMP/from-pipe" &
reader=$!
run export "$TMP/set/tankh.3da" -o "$TMP/dst/pipe"
expect_rc 0 "export into a FIFO"
wait $reader
if [ -p "$TMP/dst/pipe" ] && same "$TMP/from-pipe" "$TMP/ref/pipe"; then pass; else
  fail "a FIFO named as output is written through and stays a FIFO"
fi

mkdir "$TMP/real"
ln -s ../real/tank.3di "$TMP/dst/link.3di"
run export "$TMP/set/tankh.3da" -o "$TMP/dst/link.3di" --depfile "$TMP/dst/link.3di.d"
expect_rc 0 "export through a link"
if [ -L "$TMP/dst/link.3di" ] && same "$TMP/real/tank.3di" "$TMP/ref/link.3di"; then pass; else
  fail "a link named as output: its target is written and it stays a link"
fi
run export "$TMP/set/tankh.3da" -o "$TMP/dst"
expect_rc 1 "a folder as output"
expect_stderr "$TMP/dst: cannot write: Is a directory" "a folder as output"
no_temporaries "$TMP" "outputs"

# ---- logs with a link planted under their name -------------------------------

mkdir "$TMP/shared"
printf 'precious\n' >"$TMP/victim.txt"
cp "$TMP/ref/tank.3di" "$TMP/shared/tank.3di"
for log in 3di_log.txt ghw.txt; do ln -s ../victim.txt "$TMP/shared/$log"; done
(cd "$TMP/shared" && "$ORVO" dump tank.3di >"$TMP/out.txt" 2>"$TMP/err")
rc=$?
expect_rc 0 "dump beside a planted 3di_log.txt link"
expect_stderr "3di_log.txt: not written: it is a symbolic link" "dump names the refused log"

mkdir "$TMP/shared/build"
"$MAKE_MAP" "$TMP/shared/build/valley.raw" || fail "make-depth-map"
cat >"$TMP/shared/valley.tpj" <<TPJ
TerrainName "Valley"
Creator     "Tests"
Path        build/
DepthMap    valley.raw
Output      valley.cpt
TPJ
(cd "$TMP/shared" && "$LOAMER" build valley.tpj --jobs 2 >"$TMP/out.txt" 2>"$TMP/err")
rc=$?
expect_rc 0 "terrain build beside a planted ghw.txt link"
expect_stderr "ghw.txt: not written: it is a symbolic link" "the build names the refused log"
if [ "$(cat "$TMP/victim.txt")" = "precious" ]; then pass; else fail "a planted log link's target was written"; fi
if [ -L "$TMP/shared/3di_log.txt" ] && [ -L "$TMP/shared/ghw.txt" ]; then pass; else fail "the planted links were replaced"; fi
cp "$TMP/shared/build/valley.cpt" "$TMP/ref.cpt"

# ---- ended at random points --------------------------------------------------

if [ "$KILLS" -gt 0 ]; then
  # A model of 45 000 faces, which takes a while to export.
  python3 - "$TMP/big.ase" <<'PY'
import sys
n = 150
out = ['*3DSMAX_ASCIIEXPORT\t200',
       '*MATERIAL_LIST {\n\t*MATERIAL_COUNT 1\n\t*MATERIAL 0 {\n\t\t*MATERIAL_NAME "Ground"\n\t}\n}',
       '*GEOMOBJECT {\n\t*NODE_NAME "01 Hull"\n\t*MESH {',
       '\t\t*MESH_NUMVERTEX %d\n\t\t*MESH_NUMFACES %d\n\t\t*MESH_VERTEX_LIST {' % ((n + 1) ** 2, 2 * n * n)]
for j in range(n + 1):
    for i in range(n + 1):
        out.append('\t\t\t*MESH_VERTEX %d\t%d\t%d\t%.1f' % (j * (n + 1) + i, i, j, (i % 2) * 0.5))
out.append('\t\t}\n\t\t*MESH_FACE_LIST {')
f = 0
for j in range(n):
    for i in range(n):
        a = j * (n + 1) + i
        for t in ((a, a + 1, a + n + 2), (a, a + n + 2, a + n + 1)):
            out.append('\t\t\t*MESH_FACE %d: A: %d B: %d C: %d AB: 1 BC: 1 CA: 1\t*MESH_SMOOTHING 1\t*MESH_MTLID 0'
                       % ((f,) + t))
            f += 1
out.append('\t\t}\n\t}\n\t*MATERIAL_REF 0\n}')
open(sys.argv[1], 'w').write('\n'.join(out) + '\n')
PY
  run import "$TMP/big.ase" -o "$TMP/big.3da"
  expect_rc 0 "import the large model"
  start=$(date +%s.%N)
  run export "$TMP/big.3da" --single -o "$TMP/ref/big.3di" --jobs 2
  expect_rc 0 "export the large model"
  took=$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$(date +%s.%N)")

  mkdir "$TMP/kill"
  printf 'the old model\n' >"$TMP/old.3di"
  i=0
  while [ $i -lt "$KILLS" ]; do
    i=$((i + 1))
    case $((i % 3)) in 0) sig=KILL ;; 1) sig=TERM ;; *) sig=INT ;; esac
    cp "$TMP/old.3di" "$TMP/kill/big.3di"
    background "$ORVO" export "$TMP/big.3da" --single -o "$TMP/kill/big.3di" --jobs 2 >/dev/null 2>&1
    pid=$!
    sleep "$(random_delay "$took")"
    kill -s $sig $pid 2>/dev/null
    wait $pid
    if same "$TMP/kill/big.3di" "$TMP/old.3di" || same "$TMP/kill/big.3di" "$TMP/ref/big.3di"; then pass; else
      fail "export ended by SIG$sig: the output is neither the old file nor the new one"
    fi
    if [ $sig != KILL ]; then
      if find "$TMP/kill" -name '.*orvo-save-*' | grep -q .; then
        fail "export ended by SIG$sig left its temporary file"
      else pass; fi
    fi
  done
  # A killed run may leave its temporary; the next good export of the same
  # output removes it.
  touch -d '1 hour ago' "$TMP/kill/.big.3di.orvo-save-AbCdEf"
  run export "$TMP/big.3da" --single -o "$TMP/kill/big.3di" --jobs 2
  expect_rc 0 "export after the killed ones"
  if same "$TMP/kill/big.3di" "$TMP/ref/big.3di"; then pass; else fail "the export after the killed ones"; fi
  no_temporaries "$TMP/kill" "the next good export removes stale temporaries"

  # The terrain build: every block is made again each time (the depth map is
  # newer), ended at a random point; the terrain file is the old one or a
  # complete one.
  start=$(date +%s.%N)
  touch "$TMP/shared/build/valley.raw"
  (cd "$TMP/shared" && "$LOAMER" build valley.tpj --jobs 2 >/dev/null 2>&1)
  took=$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$(date +%s.%N)")
  printf 'the old terrain\n' >"$TMP/old.cpt"
  i=0
  while [ $i -lt $((KILLS / 2)) ]; do
    i=$((i + 1))
    case $((i % 2)) in 0) sig=KILL ;; *) sig=HUP ;; esac
    cp "$TMP/old.cpt" "$TMP/shared/build/valley.cpt"
    touch "$TMP/shared/build/valley.raw"
    # What an earlier SIGKILL left is not this run's to remove.
    if [ $sig = HUP ]; then find "$TMP/shared" -name '.*loamer-save-*' -delete; fi
    (cd "$TMP/shared" && exec "$LOAMER" build valley.tpj --jobs 2 >/dev/null 2>&1) &
    pid=$!
    sleep "$(random_delay "$took")"
    kill -s $sig $pid 2>/dev/null
    wait $pid
    if same "$TMP/shared/build/valley.cpt" "$TMP/old.cpt" ||
      "$LOAMER" inspect "$TMP/shared/build/valley.cpt" >/dev/null 2>&1; then pass; else
      fail "terrain build ended by SIG$sig: the terrain file is neither the old one nor a complete one"
    fi
    if [ $sig = HUP ]; then no_temporaries "$TMP/shared" "terrain build ended by SIGHUP"; fi
  done
  (cd "$TMP/shared" && "$LOAMER" build valley.tpj --jobs 2 >/dev/null 2>&1) || fail "the build after the killed ones"
  if same "$TMP/shared/build/valley.cpt" "$TMP/ref.cpt"; then pass; else fail "the build after the killed ones"; fi
  no_temporaries "$TMP/shared" "the next good build removes stale temporaries"
fi

finish
