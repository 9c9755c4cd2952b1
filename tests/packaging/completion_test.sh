#!/bin/sh
# Bash completion of the command-line tools, through the script the package
# installs: subcommands, options of the command being typed, an option's
# file value, a positional's fixed choices, and file names elsewhere.
#
#   completion_test.sh ORVO_CLI LOAMER_CLI MAKE_DEPTH_MAP SOURCE_DIR
if [ $# -lt 4 ]; then
  echo "usage: $0 ORVO_CLI LOAMER_CLI MAKE_DEPTH_MAP SOURCE_DIR" >&2
  exit 2
fi
TMP=$(mktemp -d "${TMPDIR:-/tmp}/orvo-completion.XXXXXX") || exit 1
trap 'rm -rf "$TMP"' EXIT
# The tools by their installed names, on the PATH.
mkdir "$TMP/bin" "$TMP/files"
ln -s "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" "$TMP/bin/orvo-cli"
ln -s "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")" "$TMP/bin/loamer-cli"
ln -s "$(cd "$(dirname "$3")" && pwd)/$(basename "$3")" "$TMP/bin/make-depth-map"
touch "$TMP/files/tankh.3da" "$TMP/files/tankm.3da" "$TMP/files/valley.tpj"
SCRIPT=$4/packaging/completion/orvo-tools.bash

PATH="$TMP/bin:$PATH" bash -s "$SCRIPT" "$TMP/files" <<'EOF_BASH'
. "$1"
files=$2
failures=0
# expect "WORDS..." "COMPLETIONS": the words typed (the last is the one being
# completed) give exactly these completions, in this order.
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _orvo_tools
  if [ "${COMPREPLY[*]}" = "$2" ]; then echo "ok    '$1' -> $2"; else
    echo "FAIL  '$1' gave '${COMPREPLY[*]}', not '$2'"
    failures=$((failures + 1))
  fi
}
expect "orvo-cli ex" "export"
expect "orvo-cli i" "inspect import"
expect "orvo-cli " "inspect import resave export dump gpuinfo render pff"
expect "orvo-cli export --ou" "--output"
expect "orvo-cli export --j" "--json --jobs"
expect "orvo-cli export --jobs " ""
expect "orvo-cli export -o $files/tankh" "$files/tankh.3da"
expect "orvo-cli export $files/tank" "$files/tankh.3da $files/tankm.3da"
expect "orvo-cli pff " "pack list extract"
expect "orvo-cli pff pack $files/val" "$files/valley.tpj"
expect "orvo-cli --v" "--version"
expect "loamer-cli b" "build"
expect "loamer-cli build --j" "--jobs"
expect "loamer-cli build $files/v" "$files/valley.tpj"
expect "make-depth-map --h" "--help"
[ "$failures" -eq 0 ] || { echo "$failures completions were wrong"; exit 1; }
echo "all completions right"
EOF_BASH
