#!/usr/bin/env bash
# One scene that follows the naming conventions, built in Blender and saved
# by Blender's own glTF and FBX exporters, and the same scene written by
# hand as a 3ds Max ASCII export: orvo-cli must make the same model of all
# three (sub-objects, points, bounding objects, lights, materials, face
# counts), rigid and skinned. Skipped (exit 77) where Blender is absent.
#
#   blender_scene_test.sh ORVO_CLI
CLI=$1
HERE=$(cd "$(dirname "$0")" && pwd)
if ! command -v blender >/dev/null; then
  echo "blender is not installed: skipped"
  exit 77
fi
TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-blender-test.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
. "$HERE/../cli_checks.sh"

blender -b --factory-startup --python "$HERE/blender/make_blender_scenes.py" -- "$TMP/scenes" >"$TMP/blender.log" 2>&1
if [ ! -f "$TMP/scenes/skinned.fbx" ]; then
  fail "Blender did not export the scenes"
  tail -n 20 "$TMP/blender.log"
  finish
  exit 1
fi
python3 "$HERE/blender/write_ase.py" "$TMP/scenes"

for kind in rigid skinned; do
  for ext in ase gltf fbx; do
    run inspect "$TMP/scenes/$kind.$ext" --meters --json
    expect_rc 0 "inspect $kind.$ext"
    cp "$TMP/out" "$TMP/$kind-$ext.json"
  done
  flag=""
  [ "$kind" = skinned ] && flag=--skinned
  for ext in gltf fbx; do
    if python3 "$HERE/blender/compare_models.py" "$TMP/$kind-ase.json" "$TMP/$kind-$ext.json" $flag; then pass; else
      fail "$kind.$ext does not give the model $kind.ase gives"
    fi
  done
done
finish
